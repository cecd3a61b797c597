#include "printing/pdf_fit.hpp"

#include <cmath>
#include <limits>

namespace zorvik::printing {

namespace {

bool sizeIsValid(double mm) { return std::isfinite(mm) && mm > 0; }

}  // namespace

Result<FitOutcome> fitPdf(std::span<const std::uint8_t> pdf, const std::optional<LabelFormat>& format) {
  if (!format) return FitOutcome{};
  // Checked before the PDF is even parsed.
  if (!sizeIsValid(format->widthMm) || !sizeIsValid(format->heightMm)) return fail("Размер этикетки задан неверно");
  fitting::Request request;
  request.widthPt = format->widthMm * kPointsPerMm;
  request.heightPt = format->heightMm * kPointsPerMm;
  // The new boxes must still be numbers once written as single-precision reals.
  constexpr double kLargestReal = std::numeric_limits<float>::max();
  if (request.widthPt > kLargestReal || request.heightPt > kLargestReal) return fail("Размер этикетки задан неверно");
  request.formatTurn = effectiveRotation(*format);
  request.scaling = format->fitMode == "actual" ? fitting::Scaling::Actual
                    : format->fitMode == "fill" ? fitting::Scaling::Fill
                                                : fitting::Scaling::Fit;
  request.offsetXMm = format->offsetXMm.value_or(0);
  request.offsetYMm = format->offsetYMm.value_or(0);

  fitting::Answer answer = fitting::fitDocument(pdf.data(), pdf.size(), request);
  if (!answer.error.empty()) return fail(std::move(answer.error));
  if (answer.unchanged) return FitOutcome{};
  return FitOutcome{std::move(answer.bytes)};
}

Result<Bytes> fitPdfBytes(std::span<const std::uint8_t> pdf, const std::optional<LabelFormat>& format) {
  auto fitted = fitPdf(pdf, format);
  if (!fitted) return fail(fitted.error());
  if (!*fitted) return Bytes(pdf.begin(), pdf.end());
  return std::move(**fitted);
}

}  // namespace zorvik::printing
