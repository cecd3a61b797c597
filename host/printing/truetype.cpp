#include "printing/truetype.hpp"

#include <algorithm>
#include <limits>
#include <optional>

namespace zorvik::printing {

namespace {

// Big-endian reads that never leave the data: out of range reads as absent.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  [[nodiscard]] std::size_t size() const { return data_.size(); }
  [[nodiscard]] bool has(std::size_t offset, std::size_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }
  [[nodiscard]] std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(data_[offset] << 8 | data_[offset + 1]);
  }
  [[nodiscard]] std::int16_t i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }
  [[nodiscard]] std::uint32_t u32(std::size_t offset) const {
    return std::uint32_t{u16(offset)} << 16 | u16(offset + 2);
  }
  // The part of the data a table record names, cut to what is there.
  [[nodiscard]] Reader slice(std::size_t offset, std::size_t length) const {
    if (offset > data_.size()) return Reader({});
    return Reader(data_.subspan(offset, std::min(length, data_.size() - offset)));
  }

 private:
  std::span<const std::uint8_t> data_;
};

struct Tables {
  std::optional<Reader> head, hhea, hmtx, cmap, os2;
};

Result<Tables> readDirectory(const Reader& font) {
  if (!font.has(0, 12)) return fail("обрезанный список таблиц");
  std::size_t count = font.u16(4);
  if (!font.has(12, count * 16)) return fail("обрезанный список таблиц");
  Tables tables;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t record = 12 + i * 16;
    std::uint32_t tag = font.u32(record);
    Reader table = font.slice(font.u32(record + 8), font.u32(record + 12));
    auto is = [tag](const char (&name)[5]) {
      return tag == (std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
                     std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3])));
    };
    if (is("head")) tables.head = table;
    else if (is("hhea")) tables.hhea = table;
    else if (is("hmtx")) tables.hmtx = table;
    else if (is("cmap")) tables.cmap = table;
    else if (is("OS/2")) tables.os2 = table;
  }
  return tables;
}

// Expands a format 4 subtable into (character, glyph) pairs sorted by character.
Result<std::vector<std::pair<char32_t, std::uint16_t>>> readFormat4(const Reader& cmap, std::size_t at) {
  if (!cmap.has(at, 14)) return fail("cmap обрезана");
  std::size_t segments = cmap.u16(at + 6) / 2;
  std::size_t ends = at + 14;
  std::size_t starts = ends + segments * 2 + 2;
  std::size_t deltas = starts + segments * 2;
  std::size_t rangeOffsets = deltas + segments * 2;
  if (!cmap.has(ends, segments * 8 + 2)) return fail("cmap обрезана");

  // Each character once, whatever overlapping segments a damaged table has.
  std::vector<bool> seen(0x10000, false);
  std::vector<std::pair<char32_t, std::uint16_t>> pairs;
  for (std::size_t s = 0; s < segments; ++s) {
    std::uint32_t end = cmap.u16(ends + s * 2);
    std::uint32_t start = cmap.u16(starts + s * 2);
    std::uint16_t delta = cmap.u16(deltas + s * 2);
    std::size_t rangeAt = rangeOffsets + s * 2;
    std::uint16_t rangeOffset = cmap.u16(rangeAt);
    for (std::uint32_t ch = start; ch <= end && ch != 0xFFFF; ++ch) {
      if (seen[ch]) continue;
      seen[ch] = true;
      std::uint16_t glyph = 0;
      if (rangeOffset == 0) {
        glyph = static_cast<std::uint16_t>(ch + delta);
      } else {
        std::size_t glyphAt = rangeAt + rangeOffset + (ch - start) * 2;
        if (cmap.has(glyphAt, 2)) {
          glyph = cmap.u16(glyphAt);
          if (glyph != 0) glyph = static_cast<std::uint16_t>(glyph + delta);
        }
      }
      if (glyph != 0) pairs.emplace_back(ch, glyph);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

// The Windows Unicode subtable when it is format 4, else a Unicode-platform one of format 4.
Result<std::vector<std::pair<char32_t, std::uint16_t>>> readCmap(const Reader& cmap) {
  if (!cmap.has(0, 4)) return fail("cmap обрезана");
  std::size_t count = cmap.u16(2);
  if (!cmap.has(4, count * 8)) return fail("cmap обрезана");
  std::optional<std::size_t> windows, unicode;
  bool anyUnicode = false;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t record = 4 + i * 8;
    std::uint16_t platform = cmap.u16(record);
    std::uint16_t encoding = cmap.u16(record + 2);
    std::size_t offset = cmap.u32(record + 4);
    bool isWindows = platform == 3 && encoding == 1;
    if (!isWindows && platform != 0) continue;
    anyUnicode = true;
    if (!cmap.has(offset, 2)) return fail("cmap обрезана");
    if (cmap.u16(offset) != 4) continue;
    if (isWindows && !windows) windows = offset;
    if (platform == 0 && !unicode) unicode = offset;
  }
  if (windows) return readFormat4(cmap, *windows);
  if (unicode) return readFormat4(cmap, *unicode);
  if (anyUnicode) return fail("в cmap нет подтаблицы формата 4");
  return fail("в шрифте не нашлось таблицы символов Unicode");
}

}  // namespace

Result<TrueTypeFont> TrueTypeFont::parse(std::span<const std::uint8_t> data) {
  Reader font(data);
  auto tables = readDirectory(font);
  if (!tables) return fail(tables.error());

  TrueTypeFont out;
  out.data_ = data;
  if (!tables->head) return fail("в шрифте нет таблицы head");
  const Reader& head = *tables->head;
  if (!head.has(0, 54)) return fail("head обрезана");
  out.unitsPerEm_ = head.u16(18);
  // Every width is divided by it: a zero here is as useless as a cut table.
  if (out.unitsPerEm_ == 0) return fail("head обрезана");
  out.xMin_ = head.i16(36);
  out.yMin_ = head.i16(38);
  out.xMax_ = head.i16(40);
  out.yMax_ = head.i16(42);

  if (!tables->hhea) return fail("в шрифте нет таблицы hhea");
  const Reader& hhea = *tables->hhea;
  if (!hhea.has(0, 36)) return fail("hhea обрезана");
  out.ascender_ = hhea.i16(4);
  out.descender_ = hhea.i16(6);
  std::size_t metrics = hhea.u16(34);

  out.capHeight_ = static_cast<std::int16_t>(std::clamp(0.7 * out.ascender_, -32768.0, 32767.0));
  if (tables->os2 && tables->os2->has(0, 90) && tables->os2->u16(0) > 1 && tables->os2->i16(88) > 0)
    out.capHeight_ = tables->os2->i16(88);

  if (!tables->hmtx) return fail("в шрифте нет таблицы hmtx");
  metrics = std::min(metrics, tables->hmtx->size() / 4);
  if (metrics == 0) return fail("в шрифте нет ширин глифов");
  out.advances_.reserve(metrics);
  for (std::size_t i = 0; i < metrics; ++i) out.advances_.push_back(tables->hmtx->u16(i * 4));

  if (!tables->cmap) return fail("в шрифте нет таблицы cmap");
  auto cmap = readCmap(*tables->cmap);
  if (!cmap) return fail(cmap.error());
  out.cmap_ = std::move(*cmap);
  return out;
}

std::uint16_t TrueTypeFont::glyph(char32_t ch) const {
  auto it = std::lower_bound(cmap_.begin(), cmap_.end(), ch,
                             [](const std::pair<char32_t, std::uint16_t>& p, char32_t c) { return p.first < c; });
  return it != cmap_.end() && it->first == ch ? it->second : 0;
}

std::uint16_t TrueTypeFont::advance(std::uint16_t glyph) const {
  return advances_[std::min<std::size_t>(glyph, advances_.size() - 1)];
}

double TrueTypeFont::textWidth(std::string_view utf8, double size) const {
  double units = 0;
  for (char32_t ch : decodeUtf8(utf8)) units += advance(glyph(ch));
  return units / unitsPerEm_ * size;
}

std::vector<char32_t> decodeUtf8(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t extra = byte < 0x80 ? 0 : (byte >> 5) == 0x6 ? 1 : (byte >> 4) == 0xE ? 2 : (byte >> 3) == 0x1E ? 3 : 4;
    if (extra == 4 || extra > text.size() - 1 - i) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t ch = extra == 0 ? byte : byte & (0x3F >> extra);
    bool ok = true;
    for (std::size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) ok = false;
      ch = ch << 6 | (next & 0x3F);
    }
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(ch);
    i += extra + 1;
  }
  return out;
}

}  // namespace zorvik::printing
