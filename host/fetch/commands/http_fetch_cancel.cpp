#include "fetch/commands/fetch_commands.hpp"
#include "fetch/commands/http_command.hpp"

namespace zorvik::fetch {

// One cancel under two names: plugin:http|fetch_cancel and fetch_cancel_body.
bridge::Command httpFetchCancelCommand(std::string name) {
  return bridge::makeCommand<RidArgs>(std::move(name), bridge::Mode::Window, parseRid,
                                     [](const RidArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
                                       processHttpService(ctx.config).cancel(a.rid);
                                       return bridge::Reply::null();
                                     });
}

}  // namespace zorvik::fetch
