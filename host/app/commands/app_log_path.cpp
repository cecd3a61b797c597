#include "app/commands/app_commands.hpp"
#include "host_context.hpp"

namespace zorvik::app {

bridge::Command appLogPathCommand() {
  return bridge::makeCommand<bridge::NoArgs>("app_log_path", bridge::Mode::Window, bridge::noArgs,
                                             [](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
                                               auto path = ctx.log.path();
                                               if (!path) return fail(path.error());
                                               return bridge::Reply(Json(path->string()));
                                             });
}

}  // namespace zorvik::app
