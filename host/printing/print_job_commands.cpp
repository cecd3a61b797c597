#include "printing/print_job_commands.hpp"

#include "printing/label_format.hpp"
#include "printing/print_job.hpp"

namespace zorvik::printing {

namespace {

// What both commands take besides the document.
struct JobArgs {
  std::optional<std::string> printerName;
  std::optional<LabelFormat> format;
  std::optional<std::int64_t> copies;
};

// `copies` is an unsigned integer or null.
Result<std::optional<std::int64_t>> readCopies(const bridge::ArgReader& reader) {
  auto copies = reader.optInteger("copies");
  if (!copies) return fail(copies.error());
  if (*copies && **copies < 0)
    return fail(reader.invalid("copies", "invalid value: " + std::to_string(**copies) + ", expected an unsigned integer"));
  return *copies;
}

Result<JobArgs> readJobArgs(const bridge::ArgReader& r) {
  auto printer = r.optString("printerName");
  if (!printer) return fail(printer.error());
  auto format = readLabelFormat(r);
  if (!format) return fail(format.error());
  auto copies = readCopies(r);
  if (!copies) return fail(copies.error());
  return JobArgs{std::move(*printer), std::move(*format), *copies};
}

struct PrintFileArgs {
  std::string path;
  JobArgs job;
};

// Jobs block for as long as the printer takes: the serial worker keeps them
// off the window's thread and in the order they came.
bridge::Command printFileCommand() {
  return bridge::makeCommand<PrintFileArgs>(
      "print_file", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<PrintFileArgs> {
        auto path = r.string("path");
        if (!path) return fail(path.error());
        auto job = readJobArgs(r);
        if (!job) return fail(job.error());
        return PrintFileArgs{std::move(*path), std::move(*job)};
      },
      [](const PrintFileArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto printed = printFile(a.path, a.job.printerName, a.job.format, a.job.copies);
        if (!printed) return fail(printed.error());
        return bridge::Reply::null();
      });
}

struct PrintBytesArgs {
  Bytes data;
  JobArgs job;
};

bridge::Command printBytesCommand() {
  return bridge::makeCommand<PrintBytesArgs>(
      "print_bytes", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<PrintBytesArgs> {
        auto data = r.bytes("data");
        if (!data) return fail(data.error());
        auto job = readJobArgs(r);
        if (!job) return fail(job.error());
        return PrintBytesArgs{std::move(*data), std::move(*job)};
      },
      [](const PrintBytesArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto printed = printBytes(a.data, a.job.printerName, a.job.format, a.job.copies);
        if (!printed) return fail(printed.error());
        return bridge::Reply::null();
      });
}

}  // namespace

void registerPrintJobCommands(bridge::CommandTable& table) {
  table.add(printFileCommand());
  table.add(printBytesCommand());
}

}  // namespace zorvik::printing
