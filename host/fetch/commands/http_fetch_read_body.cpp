#include "fetch/commands/fetch_commands.hpp"
#include "fetch/commands/http_command.hpp"

namespace zorvik::fetch {

bridge::Command httpFetchReadBodyCommand() {
  return bridge::makeCommand<RidArgs>(
      "plugin:http|fetch_read_body", bridge::Mode::Async, parseRid,
      [](const RidArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto body = processHttpService(ctx.config).readBody(a.rid);
        if (!body) return fail(body.error());
        return bridge::Reply(std::move(*body));
      });
}

}  // namespace zorvik::fetch
