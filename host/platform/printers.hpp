// The system's printers: the list, the paper a printer will use, the user's own
// paper default, and sending one finished job. Every call asks the system
// again; nothing is cached. Any thread may call these, and calls from
// different threads may overlap.
//
// Failures carry the system's own Russian texts (listed with each call) so the
// page can show them unchanged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace zorvik::platform {

struct PrinterStatus {
  std::string name;  // the name every other call takes
  bool isOnline = false;
};

struct PrinterList {
  std::vector<PrinterStatus> printers;    // in the order the system lists them
  std::optional<std::string> defaultName;  // none when there is no default or it cannot be read
};

// Fails with a text naming the print service and what to do when the system
// cannot be asked; no printers at all is an empty list.
[[nodiscard]] Result<PrinterList> listPrinters();

// The printer's option that chooses how it finds the start of a label.
struct MediaTracking {
  std::string option;     // the option's name
  std::string current;    // its value now
  std::string gapChoice;  // the value that senses the gap (or notch) between labels
};

// The paper a printer will use for a job that does not name one.
struct PaperSetup {
  std::string formName;  // the paper's own name, empty for a custom size
  std::optional<double> widthMm;   // both or neither
  std::optional<double> heightMm;
  bool supportsCustom = true;      // a size of the user's own can be used
  std::optional<MediaTracking> media;
};

// nullopt when nothing can be said about the printer's paper (unknown printer,
// or one that names no paper). Fails (with a text naming the print service)
// only when the system cannot be asked at all.
[[nodiscard]] Result<std::optional<PaperSetup>> readPaperSetup(const std::string& printer);

// Stores a paper size (tenths of a millimetre, above 0) as this user's own
// default for `printer`; a printer that senses labels by a gap is also set to
// do so. Fails with "Принтер не открылся — проверьте, подключён ли он" or
// "Система не дала сохранить настройку печати этого принтера".
[[nodiscard]] Status storePaperSize(const std::string& printer, int widthTenths, int heightTenths);

// The name of the printer to use when none is given. Fails with "В системе нет
// принтера по умолчанию — выберите принтер в настройках" or "Не удалось узнать
// принтер по умолчанию — выберите принтер в настройках".
[[nodiscard]] Result<std::string> defaultPrinterName();

// The paper of one job, tenths of a millimetre; the printer's own when absent.
struct JobPaper {
  int widthTenths = 0;
  int heightTenths = 0;
};

// A printer opened for one job. Belongs to the thread that opened it.
class PrintTarget {
 public:
  // Fails with "Принтер «{}» не открылся" or "Драйвер принтера «{}» не отдал настройки".
  [[nodiscard]] static Result<PrintTarget> open(const std::string& printer);

  PrintTarget(PrintTarget&&) noexcept;
  PrintTarget& operator=(PrintTarget&&) noexcept;
  PrintTarget(const PrintTarget&) = delete;
  PrintTarget& operator=(const PrintTarget&) = delete;
  ~PrintTarget();

  // The printer's resolution in dots per inch; 0 when it states none.
  [[nodiscard]] int reportedDpi() const;

  // Sends one job: `pdf` is a PDF whose pages each hold one page-sized image,
  // printed as it is (no scaling, one copy), under the document name `title`.
  // A job that fails after it was created is cancelled. Fails with "Не удалось
  // начать печать на «{}»", "Принтер не принял задание", "Принтер прервал
  // печать страницы" or "Принтер не завершил задание".
  [[nodiscard]] Status submit(std::span<const std::uint8_t> pdf, const std::optional<JobPaper>& paper,
                              const std::string& title);

  // The same with the PDF read from a file piece by piece, so a long job is
  // never whole in memory. A file that cannot be read cancels the job with
  // "Не удалось прочитать файл для печати: {}".
  [[nodiscard]] Status submitFile(const std::filesystem::path& pdf, const std::optional<JobPaper>& paper,
                                  const std::string& title);

 private:
  // Fills the buffer with the document's next bytes: how many, 0 at its end.
  using ChunkSource = std::function<Result<std::size_t>(std::span<char>)>;
  [[nodiscard]] Status send(const ChunkSource& next, const std::optional<JobPaper>& paper, const std::string& title);

  struct State;
  explicit PrintTarget(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace zorvik::platform
