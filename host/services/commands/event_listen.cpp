#include "services/commands/service_commands.hpp"
#include "services/commands/event_command.hpp"

namespace zorvik::services {

namespace {
struct ListenArgs {
  std::string event;
  std::uint32_t handler;
};
}  // namespace

bridge::Command eventListenCommand() {
  return bridge::makeCommand<ListenArgs>(
      "plugin:event|listen", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<ListenArgs> {
        auto event = r.string("event");
        if (!event) return fail(event.error());
        auto handler = eventId(r, "handler");
        if (!handler) return fail(handler.error());
        return ListenArgs{std::move(*event), *handler};
      },
      [](const ListenArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        return bridge::Reply(Json((*s)->events.listen(a.event, a.handler)));
      });
}

}  // namespace zorvik::services
