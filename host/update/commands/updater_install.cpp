#include "host_context.hpp"
#include "update/commands/update_commands.hpp"
#include "update/process_updater.hpp"

namespace zorvik::update {

bridge::Command updaterInstallCommand() {
  return bridge::inLane("update", bridge::makeCommand<bridge::NoArgs>(
      "plugin:updater|install", bridge::Mode::Serial, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
        if (auto installed = processUpdater(ctx.config).install(); !installed) return fail(installed.error());
        return bridge::Reply::null();
      }));
}

}  // namespace zorvik::update
