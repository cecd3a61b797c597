#include "fetch/commands/fetch_commands.hpp"
#include "fetch/commands/http_command.hpp"

namespace zorvik::fetch {

bridge::Command httpFetchSendCommand() {
  return bridge::makeCommand<RidArgs>(
      "plugin:http|fetch_send", bridge::Mode::Async, parseRid,
      [](const RidArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto head = processHttpService(ctx.config).send(a.rid);
        if (!head) return fail(head.error());
        return bridge::Reply(std::move(*head));
      });
}

}  // namespace zorvik::fetch
