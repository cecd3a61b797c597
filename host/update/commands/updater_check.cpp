#include "app/config.hpp"
#include "host_context.hpp"
#include "update/commands/update_commands.hpp"
#include "update/process_updater.hpp"

namespace zorvik::update {

// null, or {version, currentVersion, notes, date} of the newer version.
bridge::Command updaterCheckCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "plugin:updater|check", bridge::Mode::Async, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
        auto found = processUpdater(ctx.config).check();
        if (!found) return fail(found.error());
        if (!*found) return bridge::Reply::null();
        const UpdateInfo& info = **found;
        return bridge::Reply(Json{{"version", info.version},
                                  {"currentVersion", app::version()},
                                  {"notes", info.notes ? Json(*info.notes) : Json(nullptr)},
                                  {"date", info.pubDate ? Json(*info.pubDate) : Json(nullptr)}});
      });
}

}  // namespace zorvik::update
