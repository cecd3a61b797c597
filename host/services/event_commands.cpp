// plugin:event — listen, unlisten, emit, emit_to.
#include "services/service_command.hpp"

namespace zorvik::services {

namespace {

struct ListenArgs {
  std::string event;
  std::uint32_t handler;
};
struct UnlistenArgs {
  std::string event;
  std::uint32_t eventId;
};
struct EmitArgs {
  std::string event;
  Json payload;
};

Result<std::uint32_t> id(const bridge::ArgReader& r, std::string_view key) {
  auto v = r.integer(key);
  if (!v) return fail(v.error());
  if (*v < 0 || *v > 0xffffffffLL) return fail(r.invalid(key, "out of range"));
  return static_cast<std::uint32_t>(*v);
}

Result<EmitArgs> parseEmit(const bridge::ArgReader& r) {
  auto event = r.string("event");
  if (!event) return fail(event.error());
  return EmitArgs{std::move(*event), r.optValue("payload").value_or(Json(nullptr))};
}

Result<bridge::Reply> emit(const EmitArgs& a, HostContext& ctx) {
  auto s = servicesOf(ctx);
  if (!s) return fail(s.error());
  (*s)->events.emit(a.event, a.payload);
  return bridge::Reply::null();
}

}  // namespace

void registerEventCommands(bridge::CommandTable& table) {
  table.add(bridge::makeCommand<ListenArgs>(
      "plugin:event|listen", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<ListenArgs> {
        auto event = r.string("event");
        if (!event) return fail(event.error());
        auto handler = id(r, "handler");
        if (!handler) return fail(handler.error());
        return ListenArgs{std::move(*event), *handler};
      },
      [](const ListenArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        return bridge::Reply(Json((*s)->events.listen(a.event, a.handler)));
      }));
  table.add(bridge::makeCommand<UnlistenArgs>(
      "plugin:event|unlisten", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<UnlistenArgs> {
        auto event = r.string("event");
        if (!event) return fail(event.error());
        auto eventId = id(r, "eventId");
        if (!eventId) return fail(eventId.error());
        return UnlistenArgs{std::move(*event), *eventId};
      },
      [](const UnlistenArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        (*s)->events.unlisten(a.event, a.eventId);
        return bridge::Reply::null();
      }));
  table.add(bridge::makeCommand<EmitArgs>("plugin:event|emit", bridge::Mode::Window, parseEmit, emit));
  // One window: every target is the page itself.
  table.add(bridge::makeCommand<EmitArgs>(
      "plugin:event|emit_to", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<EmitArgs> {
        if (auto target = r.optValue("target"); !target) return fail(r.invalid("target", "missing"));
        return parseEmit(r);
      },
      emit));
}

}  // namespace zorvik::services
