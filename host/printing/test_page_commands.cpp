#include "printing/label_format.hpp"
#include "printing/print_job.hpp"
#include "printing/printing_commands.hpp"
#include "printing/test_page.hpp"

namespace zorvik::printing {

namespace {

struct RenderArgs {
  std::optional<LabelFormat> format;
};

// The preview of the settings screen: the test page as PDF bytes.
bridge::Command renderTestPageCommand() {
  return bridge::makeCommand<RenderArgs>(
      "render_test_page", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<RenderArgs> {
        auto format = readLabelFormat(r);
        if (!format) return fail(format.error());
        return RenderArgs{std::move(*format)};
      },
      [](const RenderArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto pdf = renderTestPage(a.format, todayUtc());
        if (!pdf) return fail(pdf.error());
        return bridge::Reply(std::move(*pdf));
      });
}

struct PrintArgs {
  std::optional<std::string> printerName;
  std::optional<LabelFormat> format;
};

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

}  // namespace

void registerTestPageCommands(bridge::CommandTable& table) {
  table.add(renderTestPageCommand());
  table.add(printTestPageCommand());
}

}  // namespace zorvik::printing
