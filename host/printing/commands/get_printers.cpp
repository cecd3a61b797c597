#include "printing/commands/printing_commands.hpp"
#include "platform/printers.hpp"
#include "printing/printer_info.hpp"

namespace zorvik::printing {

// Asks the print system, which may take a while: off the window's thread, and
// free to overlap with a print job.
bridge::Command getPrintersCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "get_printers", bridge::Mode::Async, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
        auto list = platform::listPrinters();
        if (!list) return fail(list.error());
        return bridge::Reply(printersJson(*list));
      });
}

}  // namespace zorvik::printing
