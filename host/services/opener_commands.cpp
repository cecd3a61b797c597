// plugin:opener — links in the default browser, saved files in the file manager.
#include "services/service_command.hpp"

namespace zorvik::services {

namespace {

struct UrlArgs {
  std::string url;
};
struct RevealArgs {
  std::vector<std::string> paths;
};

}  // namespace

void registerOpenerCommands(bridge::CommandTable& table) {
  table.add(bridge::makeCommand<UrlArgs>(
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
      }));
  table.add(bridge::makeCommand<RevealArgs>(
      "plugin:opener|reveal_item_in_dir", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<RevealArgs> {
        RevealArgs a;
        if (auto one = r.optString("path"); !one) return fail(one.error());
        else if (*one) a.paths.push_back(**one);
        if (auto many = r.optValue("paths")) {
          if (!many->is_array()) return fail(r.invalid("paths", "expected an array of strings"));
          for (const auto& p : *many) {
            if (!p.is_string()) return fail(r.invalid("paths", "expected an array of strings"));
            a.paths.push_back(p.get<std::string>());
          }
        }
        if (a.paths.empty()) return fail(r.invalid("path", "command reveal_item_in_dir missing required key path"));
        return a;
      },
      [](const RevealArgs& a, HostContext&) -> Result<bridge::Reply> {
        for (const auto& p : a.paths)
          if (auto shown = platform::revealInFileManager(p); !shown) return fail(shown.error());
        return bridge::Reply::null();
      }));
}

}  // namespace zorvik::services
