// Fits a PDF to the label: every page is rotated, scaled and centred onto a
// page of exactly the label's size, then optionally shifted for a printer
// that misses the label edge. Works on the PDF's objects; never rasterises.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/label_format.hpp"
#include "printing/pdf_fit_qpdf.hpp"

namespace zorvik::printing {

// The answer of a fit: the bytes to print, or nullopt when the input itself
// is the answer (no format, or a correctly sized label with nothing to change),
// so a print job can send its source file as it is.
using FitOutcome = std::optional<Bytes>;

// Pure: bytes in, bytes out; any thread. Errors are the system's own texts.
[[nodiscard]] Result<FitOutcome> fitPdf(std::span<const std::uint8_t> pdf, const std::optional<LabelFormat>& format);

// The same, always answering the bytes (a copy of the input when unchanged).
[[nodiscard]] Result<Bytes> fitPdfBytes(std::span<const std::uint8_t> pdf, const std::optional<LabelFormat>& format);

}  // namespace zorvik::printing
