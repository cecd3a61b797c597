#include "printing/commands/printing_commands.hpp"
#include "printing/commands/job_args.hpp"
#include "printing/print_job.hpp"

namespace zorvik::printing {

namespace {
struct PrintBytesArgs {
  Bytes data;
  JobArgs job;
};
}  // namespace

// A job from the page's bytes; serial like print_file.
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

}  // namespace zorvik::printing
