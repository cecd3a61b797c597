#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

namespace {
struct UrlArgs {
  std::string url;
};
}  // namespace

// A link in the default browser, if the opener's scope allows it.
bridge::Command openerOpenUrlCommand() {
  return bridge::makeCommand<UrlArgs>(
      "plugin:opener|open_url", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<UrlArgs> {
        auto url = r.string("url");
        if (!url) return fail(url.error());
        return UrlArgs{std::move(*url)};
      },
      [](const UrlArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        if (!openerAllows((*s)->openerScope, a.url)) return fail("Эту ссылку нельзя открыть: " + a.url);
        if (auto opened = platform::openWithDefaultHandler(a.url); !opened)
          return failWith("Не удалось открыть ссылку: ", opened.error());
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::services
