#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

namespace {
struct KeepArgs {
  bool enable;
};
}  // namespace

bridge::Command keepScreenOnCommand() {
  return bridge::makeCommand<KeepArgs>(
      "plugin:keep-screen-on|keep_screen_on", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<KeepArgs> {
        auto enable = r.optBoolean("enable");
        if (!enable) return fail(enable.error());
        return KeepArgs{enable->value_or(true)};
      },
      [](const KeepArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        if ((*s)->screen) (*s)->screen->keepOn(a.enable);
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::services
