#include "printing/commands/printing_commands.hpp"
#include "printing/label_format.hpp"
#include "printing/test_page.hpp"

namespace zorvik::printing {

namespace {
struct RenderArgs {
  std::optional<LabelFormat> format;
};
}  // namespace

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

}  // namespace zorvik::printing
