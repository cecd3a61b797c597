#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

// Closes an open store: the page's resource ids are store ids.
bridge::Command resourcesCloseCommand() {
  return bridge::makeCommand<Rid>(
      "plugin:resources|close", bridge::Mode::Window, parseRid,
      [](const Rid& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        (*s)->stores.close(a.rid);
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::services
