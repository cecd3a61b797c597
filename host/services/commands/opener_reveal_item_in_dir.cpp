#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

namespace {
struct RevealArgs {
  std::vector<std::string> paths;
};
}  // namespace

// Saved files shown in the file manager.
bridge::Command openerRevealItemInDirCommand() {
  return bridge::makeCommand<RevealArgs>(
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
      });
}

}  // namespace zorvik::services
