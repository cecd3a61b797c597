// Shared pieces of the host-service commands.
#pragma once

#include "bridge/command.hpp"
#include "host_context.hpp"
#include "services/host_services.hpp"

namespace zorvik::services {

inline Result<HostServices*> servicesOf(HostContext& ctx) {
  if (!ctx.services) return fail("host services are not running");
  return ctx.services;
}

inline std::string pluginName(std::string_view service, std::string_view command) {
  return "plugin:" + std::string(service) + "|" + std::string(command);
}

// A command that answers a constant-shaped value computed from the services.
template <class Fn>
bridge::Command query(std::string_view service, std::string_view command, Fn fn) {
  return bridge::makeCommand<bridge::NoArgs>(
      pluginName(service, command), bridge::Mode::Window, bridge::noArgs,
      [fn](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        return bridge::Reply(Json(fn(**s)));
      });
}

}  // namespace zorvik::services
