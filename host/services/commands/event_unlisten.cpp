#include "services/commands/service_commands.hpp"
#include "services/commands/event_command.hpp"

namespace zorvik::services {

namespace {
struct UnlistenArgs {
  std::string event;
  std::uint32_t eventId;
};
}  // namespace

bridge::Command eventUnlistenCommand() {
  return bridge::makeCommand<UnlistenArgs>(
      "plugin:event|unlisten", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<UnlistenArgs> {
        auto event = r.string("event");
        if (!event) return fail(event.error());
        auto id = eventId(r, "eventId");
        if (!id) return fail(id.error());
        return UnlistenArgs{std::move(*event), *id};
      },
      [](const UnlistenArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        (*s)->events.unlisten(a.event, a.eventId);
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::services
