// Shared by the plugin:event commands.
#pragma once

#include "services/commands/service_command.hpp"

namespace zorvik::services {

struct EmitArgs {
  std::string event;
  Json payload;
};

// A listener or event id: an unsigned 32-bit number.
inline Result<std::uint32_t> eventId(const bridge::ArgReader& r, std::string_view key) {
  auto v = r.integer(key);
  if (!v) return fail(v.error());
  if (*v < 0 || *v > 0xffffffffLL) return fail(r.invalid(key, "out of range"));
  return static_cast<std::uint32_t>(*v);
}

inline Result<EmitArgs> parseEmit(const bridge::ArgReader& r) {
  auto event = r.string("event");
  if (!event) return fail(event.error());
  return EmitArgs{std::move(*event), r.optValue("payload").value_or(Json(nullptr))};
}

inline Result<bridge::Reply> emit(const EmitArgs& a, HostContext& ctx) {
  auto s = servicesOf(ctx);
  if (!s) return fail(s.error());
  (*s)->events.emit(a.event, a.payload);
  return bridge::Reply::null();
}

}  // namespace zorvik::services
