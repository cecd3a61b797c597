// Reads the few metrics of a TrueType font that the test page needs: units
// per em, bounding box, ascender, descender, cap height, advance widths and
// the Unicode character map (format 4).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/result.hpp"

namespace zorvik::printing {

class TrueTypeFont {
 public:
  // Errors name what is missing or cut short. The data must outlive the font
  // only for as long as the caller uses data(): the metrics are copied.
  [[nodiscard]] static Result<TrueTypeFont> parse(std::span<const std::uint8_t> data);

  [[nodiscard]] std::uint16_t unitsPerEm() const { return unitsPerEm_; }
  [[nodiscard]] std::int16_t xMin() const { return xMin_; }
  [[nodiscard]] std::int16_t yMin() const { return yMin_; }
  [[nodiscard]] std::int16_t xMax() const { return xMax_; }
  [[nodiscard]] std::int16_t yMax() const { return yMax_; }
  [[nodiscard]] std::int16_t ascender() const { return ascender_; }
  [[nodiscard]] std::int16_t descender() const { return descender_; }
  [[nodiscard]] std::int16_t capHeight() const { return capHeight_; }
  [[nodiscard]] std::span<const std::uint8_t> data() const { return data_; }

  // Glyph of a Unicode character; 0 (the missing glyph) when the font has none.
  [[nodiscard]] std::uint16_t glyph(char32_t ch) const;
  // Advance width in font units.
  [[nodiscard]] std::uint16_t advance(std::uint16_t glyph) const;
  // Advance of a UTF-8 text at `size` points.
  [[nodiscard]] double textWidth(std::string_view utf8, double size) const;

 private:
  std::span<const std::uint8_t> data_;
  std::uint16_t unitsPerEm_ = 0;
  std::int16_t xMin_ = 0, yMin_ = 0, xMax_ = 0, yMax_ = 0;
  std::int16_t ascender_ = 0, descender_ = 0, capHeight_ = 0;
  std::vector<std::uint16_t> advances_;                     // one per horizontal metric
  std::vector<std::pair<char32_t, std::uint16_t>> cmap_;   // sorted by character
};

// Unicode code points of a UTF-8 text; a malformed byte reads as U+FFFD.
[[nodiscard]] std::vector<char32_t> decodeUtf8(std::string_view text);

}  // namespace zorvik::printing
