#include "printing/print_job.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>

#include "core/system_error.hpp"

#include "core/utf8_path.hpp"
#include "platform/c_file.hpp"
#include "platform/printers.hpp"
#include "platform/process.hpp"
#include "printing/pdf_fit.hpp"
#include "printing/print_job_files.hpp"
#include "printing/print_job_pdf.hpp"
#include "printing/printer_info.hpp"
#include "printing/renderer.hpp"
#include "printing/test_page.hpp"

namespace zorvik::printing {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxCopies = 100;
constexpr const char* kJobNotSaved = "Не удалось сохранить задание печати: ";
constexpr int kFallbackDpi = 203;

std::string processId() { return std::to_string(platform::currentProcessId()); }

}  // namespace

int effectiveCopies(std::optional<std::int64_t> copies) {
  if (!copies || *copies <= 0) return 1;
  return static_cast<int>(std::min<std::int64_t>(*copies, kMaxCopies));
}

int renderingDpi(int reportedDpi) {
  if (reportedDpi < 1) return kFallbackDpi;
  return std::clamp(reportedDpi, 150, 600);
}

Result<PrintReport> runPrintJob(const PrintRequest& request) {
  auto source = readWholeFile(request.path);
  if (!source) return failWith("Не удалось прочитать файл: ", source.error());

  // A PDF that fitting leaves as it is gets printed from its own file.
  auto fitted = fitPdf(*source, request.format);
  if (!fitted) return fail(fitted.error());
  std::optional<TempFile> fittedFile;
  if (*fitted) {
    auto created = TempFile::create("zorvik-ready-" + processId(), **fitted);
    if (!created) return failWith("Не удалось сохранить этикетку: ", created.error());
    fittedFile.emplace(std::move(*created));
  }
  source.value().clear();
  fitted.value().reset();

  PrintReport report;
  report.printedFile = fittedFile ? fittedFile->path() : request.path;
  auto pdf = readWholeFile(report.printedFile);
  if (!pdf) return failWith("Не удалось прочитать файл для печати: ", pdf.error());

  if (request.printerName && !request.printerName->empty()) {
    report.printer = *request.printerName;
  } else {
    auto fallback = platform::defaultPrinterName();
    if (!fallback) return fail(fallback.error());
    report.printer = std::move(*fallback);
  }

  Renderer& renderer = request.renderer ? *request.renderer : processRenderer();
  auto target = platform::PrintTarget::open(report.printer);
  if (!target) return fail(target.error());

  std::optional<platform::JobPaper> paper;
  if (request.format) {
    paper = platform::JobPaper{tenthsOfMm(request.format->widthMm), tenthsOfMm(request.format->heightMm)};
    if (paper->widthTenths == 0 || paper->heightTenths == 0) return fail("Размер этикетки задан неверно");
  }

  report.renderDpi = renderingDpi(target->reportedDpi());
  // One page at a time: drawn, packed and written to the job's file before
  // the next is drawn, so memory does not grow with the page count.
  auto jobFile = TempFile::create("zorvik-job-" + processId(), {});
  if (!jobFile) return failWith(kJobNotSaved, jobFile.error());
  platform::CFile out = platform::openFile(jobFile->path(), "ab");
  if (!out) return failWith(kJobNotSaved, errnoText(errno));
  JobDocument job([&out](std::span<const std::uint8_t> data) -> Status {
    if (std::fwrite(data.data(), 1, data.size(), out.get()) != data.size())
      return failWith(kJobNotSaved, errnoText(errno ? errno : EIO));
    return {};
  });
  auto drawn = renderer.renderEach(std::move(*pdf), report.renderDpi,
                                   [&job](const PageImage& page) { return job.addPage(page); });
  if (!drawn) return fail(drawn.error());
  report.pages = *drawn;
  if (auto finished = job.finish(std::max(request.copies, 1)); !finished) return fail(finished.error());
  if (std::fclose(out.release()) != 0) return failWith(kJobNotSaved, errnoText(errno));

  if (auto sent = target->submitFile(jobFile->path(), paper, kJobDocumentName); !sent) return fail(sent.error());
  return report;
}

Result<PrintReport> printFile(const fs::path& path, std::optional<std::string> printerName,
                              std::optional<LabelFormat> format, std::optional<std::int64_t> copies,
                              Renderer* renderer) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return fail("Файл не найден: " + utf8Text(path));
  return runPrintJob({path, std::move(printerName), std::move(format), effectiveCopies(copies), renderer});
}

Result<PrintReport> printBytes(const Bytes& data, std::optional<std::string> printerName,
                               std::optional<LabelFormat> format, std::optional<std::int64_t> copies,
                               Renderer* renderer) {
  if (data.empty()) return fail("Пустой файл — печатать нечего");
  static constexpr std::uint8_t kMagic[] = {'%', 'P', 'D', 'F'};
  if (data.size() < 4 || !std::equal(std::begin(kMagic), std::end(kMagic), data.begin()))
    return fail("Это не PDF — возможно, ссылка ведёт на страницу с ошибкой");
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  auto label = TempFile::create("zorvik-label-" + processId() + "-" + std::to_string(millis), data);
  if (!label) return failWith("Не удалось сохранить этикетку: ", label.error());
  return runPrintJob({label->path(), std::move(printerName), std::move(format), effectiveCopies(copies), renderer});
}

Result<PrintReport> printTestPage(std::optional<std::string> printerName, const std::optional<LabelFormat>& format,
                                  Renderer* renderer) {
  auto page = generateTestPage(format, todayUtc());
  if (!page) return fail(page.error());
  auto file = TempFile::create("zorvik-test-" + processId(), *page);
  if (!file) return failWith("Не удалось создать тестовую страницу: ", file.error());
  return runPrintJob({file->path(), std::move(printerName), testPageFitFormat(format), 1, renderer});
}

}  // namespace zorvik::printing
