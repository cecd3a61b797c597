#include "printing/commands/printing_commands.hpp"
#include "printing/label_format.hpp"
#include "printing/print_job.hpp"
#include "printing/test_page.hpp"

namespace zorvik::printing {

namespace {
struct PrintArgs {
  std::optional<std::string> printerName;
  std::optional<LabelFormat> format;
};
}  // namespace

// The test page on the printer, one copy; a job, so never on the window's thread.
bridge::Command printTestPageCommand() {
  return bridge::makeCommand<PrintArgs>(
      "print_test_page", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<PrintArgs> {
        auto printer = r.optString("printerName");
        if (!printer) return fail(printer.error());
        auto format = readLabelFormat(r);
        if (!format) return fail(format.error());
        return PrintArgs{std::move(*printer), std::move(*format)};
      },
      [](const PrintArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto printed = printTestPage(a.printerName, a.format);
        if (!printed) return fail(printed.error());
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::printing
