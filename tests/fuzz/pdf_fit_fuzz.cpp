// The label fitter on arbitrary PDF bytes and formats: it must answer a value
// or one of its messages, never crash, leak or read out of bounds.
//
// Input: 6 bytes that choose the format, then the PDF itself.
#include <cstddef>
#include <cstdint>
#include <span>

#include "printing/pdf_fit.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorvik::printing;
  if (size < 6) return 0;
  LabelFormat format;
  // Sizes from 0 (refused) to 255 mm; rotations around the quarter turns.
  format.widthMm = data[0];
  format.heightMm = data[1] == 255 ? 0.5 : data[1];
  static constexpr std::int64_t kTurns[] = {0, 90, 180, 270, -90, 450, 45};
  if (data[2] % 8 < 7) format.rotation = kTurns[data[2] % 8];
  else format.orientation = "landscape";
  static constexpr const char* kModes[] = {"fit", "fill", "actual"};
  format.fitMode = kModes[data[3] % 3];
  // Shifts of -12.8 .. 12.7 mm: some beyond the limit.
  if (data[4]) format.offsetXMm = static_cast<std::int8_t>(data[4]) / 10.0;
  if (data[5]) format.offsetYMm = static_cast<std::int8_t>(data[5]) / 10.0;

  std::span<const std::uint8_t> pdf(data + 6, size - 6);
  auto fitted = fitPdf(pdf, format);
  if (fitted && *fitted) {
    // What the fitter writes it must be able to read again.
    auto again = fitPdf(**fitted, format);
    (void)again;
  }
  return 0;
}
