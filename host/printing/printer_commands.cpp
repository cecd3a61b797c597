#include "platform/printers.hpp"
#include "printing/print_job_commands.hpp"
#include "printing/printer_info.hpp"
#include "printing/printing_commands.hpp"

namespace zorvik::printing {

namespace {

// Both ask the print system, which may take a while: off the window's thread,
// and free to overlap with a print job.
bridge::Command getPrinters() {
  return bridge::makeCommand<bridge::NoArgs>(
      "get_printers", bridge::Mode::Async, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
        auto list = platform::listPrinters();
        if (!list) return fail(list.error());
        return bridge::Reply(printersJson(*list));
      });
}

struct PrinterArgs {
  std::string printerName;
};

bridge::Command getPageSize() {
  return bridge::makeCommand<PrinterArgs>(
      "get_page_size", bridge::Mode::Async,
      [](const bridge::ArgReader& r) -> Result<PrinterArgs> {
        auto name = r.string("printerName");
        if (!name) return fail(name.error());
        return PrinterArgs{std::move(*name)};
      },
      [](const PrinterArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto setup = platform::readPaperSetup(a.printerName);
        if (!setup) return fail(setup.error());
        return bridge::Reply(pageSizeJson(*setup));
      });
}

struct SetPageSizeArgs {
  std::string printerName;
  std::optional<double> widthMm;  // null: the page sent something that is not a number
  std::optional<double> heightMm;
};

// Serial: it rewrites the user's printer settings, so two never interleave.
bridge::Command setPageSize() {
  return bridge::makeCommand<SetPageSizeArgs>(
      "set_page_size", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<SetPageSizeArgs> {
        auto name = r.string("printerName");
        if (!name) return fail(name.error());
        auto width = r.optNumber("widthMm");
        if (!width) return fail(width.error());
        auto height = r.optNumber("heightMm");
        if (!height) return fail(height.error());
        return SetPageSizeArgs{std::move(*name), *width, *height};
      },
      [](const SetPageSizeArgs& a, HostContext&) -> Result<bridge::Reply> {
        // Checked before the printer is even looked up.
        auto size = checkedPaperSize(a.widthMm, a.heightMm);
        if (!size) return fail(size.error());
        if (auto stored = platform::storePaperSize(a.printerName, size->width, size->height); !stored)
          return fail(stored.error());
        auto setup = platform::readPaperSetup(a.printerName);
        if (!setup) return fail(setup.error());
        return bridge::Reply(pageSizeJson(*setup));
      });
}

}  // namespace

void registerPrinterCommands(bridge::CommandTable& table) {
  table.add(getPrinters());
  table.add(getPageSize());
  table.add(setPageSize());
  registerPrintJobCommands(table);
}

}  // namespace zorvik::printing
