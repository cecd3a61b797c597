#include "printing/commands/printing_commands.hpp"
#include "printing/commands/job_args.hpp"
#include "printing/print_job.hpp"

namespace zorvik::printing {

namespace {
struct PrintFileArgs {
  std::string path;
  JobArgs job;
};
}  // namespace

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

}  // namespace zorvik::printing
