// Print jobs: a PDF is fitted to the label, rendered page by page at the
// printer's resolution by the renderer thread, and sent to the printer as one
// job in which the whole page sequence is repeated for every copy.
//
// A job blocks its caller for its whole length (the renderer, the printer):
// call it from a worker, never from the window's thread. Jobs on different
// threads may overlap; each keeps its own temporary files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/label_format.hpp"

namespace zorvik::printing {

class Renderer;

// The name the printer's queue shows for every job.
inline constexpr const char* kJobDocumentName = "Этикетка Zorvik";

struct PrintRequest {
  std::filesystem::path path;               // the PDF to print
  std::optional<std::string> printerName;   // none: the system's default printer
  std::optional<LabelFormat> format;        // none: the PDF and the printer's paper as they are
  int copies = 1;
  // The renderer thread to draw with; null: the process's own. Only one
  // engine can be loaded at a time, so a caller that must let it go again
  // (a test) brings a renderer it can stop.
  Renderer* renderer = nullptr;
};

// What a job did.
struct PrintReport {
  std::string printer;
  std::filesystem::path printedFile;  // the source itself, or the fitted copy (removed by now)
  int renderDpi = 0;
  std::size_t pages = 0;  // distinct pages; the printer got pages × copies
};

// `copies` when given and not 0, else 1; never more than 100.
[[nodiscard]] int effectiveCopies(std::optional<std::int64_t> copies);

// The resolution pages are rendered at for a printer that reports `dpi`:
// 203 when it reports none, otherwise within 150..600.
[[nodiscard]] int renderingDpi(int reportedDpi);

// The job routine. Errors are the system's own texts; fitting and renderer
// errors pass through unchanged. Temporary files are gone when it returns.
[[nodiscard]] Result<PrintReport> runPrintJob(const PrintRequest& request);

// `print_file`: a PDF already on disk.
[[nodiscard]] Result<PrintReport> printFile(const std::filesystem::path& path, std::optional<std::string> printerName,
                                            std::optional<LabelFormat> format, std::optional<std::int64_t> copies,
                                            Renderer* renderer = nullptr);

// `print_bytes`: PDF bytes from the page, kept in a temporary file for the job.
[[nodiscard]] Result<PrintReport> printBytes(const Bytes& data, std::optional<std::string> printerName,
                                             std::optional<LabelFormat> format, std::optional<std::int64_t> copies,
                                             Renderer* renderer = nullptr);

// `print_test_page`: the test page of `format` (none: the default label), one copy.
[[nodiscard]] Result<PrintReport> printTestPage(std::optional<std::string> printerName,
                                                const std::optional<LabelFormat>& format, Renderer* renderer = nullptr);

}  // namespace zorvik::printing
