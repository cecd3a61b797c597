// The half of label fitting that edits the PDF with qpdf.
//
// Kept to C++17 on purpose (no Result, no span): qpdf 11's headers do not
// compile as C++20 or later with clang and libstdc++ 12, which the fuzzing
// build uses. CMake compiles pdf_fit_qpdf.cpp as C++17; pdf_fit.hpp is the
// interface the rest of the host uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvik::printing {

// Largest shift, millimetres either way.
inline constexpr double kMaxOffsetMm = 10;

// Reduces degrees into 0..359 and keeps only quarter turns: anything else is 0.
inline int quarterTurn(std::int64_t degrees) {
  std::int64_t reduced = ((degrees % 360) + 360) % 360;
  return reduced % 90 == 0 ? static_cast<int>(reduced) : 0;
}

namespace fitting {

enum class Scaling { Fit, Fill, Actual };

struct Request {
  double widthPt = 0;  // the label, already checked to be a usable size
  double heightPt = 0;
  int formatTurn = 0;  // 0, 90, 180 or 270
  Scaling scaling = Scaling::Fit;
  double offsetXMm = 0;  // 0 when absent
  double offsetYMm = 0;
};

struct Answer {
  std::string error;       // the system's text; empty on success
  bool unchanged = false;  // the input itself is the answer
  std::vector<std::uint8_t> bytes;
};

// Any thread; never throws.
Answer fitDocument(const std::uint8_t* data, std::size_t size, const Request& request);

}  // namespace fitting
}  // namespace zorvik::printing
