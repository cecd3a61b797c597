#include "printing/commands/printing_commands.hpp"
#include "platform/printers.hpp"
#include "printing/printer_info.hpp"

namespace zorvik::printing {

namespace {
struct SetPageSizeArgs {
  std::string printerName;
  std::optional<double> widthMm;  // null: the page sent something that is not a number
  std::optional<double> heightMm;
};
}  // namespace

// Serial: it rewrites the user's printer settings, so two never interleave.
bridge::Command setPageSizeCommand() {
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

}  // namespace zorvik::printing
