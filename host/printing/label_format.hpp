// The label format the page sends with every print command: size, rotation,
// scaling mode and the printer's shift. Millimetres throughout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/args.hpp"
#include "core/result.hpp"

namespace zorvik::printing {

// 72 / 25.4: PDF points per millimetre.
inline constexpr double kPointsPerMm = 2.834645669291339;

struct LabelFormat {
  double widthMm = 0;
  double heightMm = 0;
  std::optional<std::int64_t> rotation;    // degrees; only 90, 180, 270 (mod 360) have an effect
  std::optional<std::string> orientation;  // used only without `rotation`: "landscape" means 90
  std::optional<std::string> fitMode;      // "actual", "fill", anything else fits uniformly
  std::optional<double> offsetXMm;         // printed image to the right
  std::optional<double> offsetYMm;         // printed image upwards
};

// Reads the argument `key` as a LabelFormat; absent or null gives nullopt.
// Keys are matched exactly and unknown keys ignored; a missing size or a
// value of the wrong type is the bridge's argument error.
[[nodiscard]] Result<std::optional<LabelFormat>> readLabelFormat(const bridge::ArgReader& reader,
                                                                  std::string_view key = "format");

// The effective rotation of the content: 0, 90, 180 or 270.
[[nodiscard]] int effectiveRotation(const LabelFormat& format);

}  // namespace zorvik::printing
