#include "printing/commands/printing_commands.hpp"
#include "platform/printers.hpp"
#include "printing/printer_info.hpp"

namespace zorvik::printing {

namespace {
struct PrinterArgs {
  std::string printerName;
};
}  // namespace

// Asks the print system, which may take a while: off the window's thread, and
// free to overlap with a print job.
bridge::Command getPageSizeCommand() {
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

}  // namespace zorvik::printing
