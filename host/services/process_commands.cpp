// plugin:process|restart and plugin:keep-screen-on|keep_screen_on.
#include "services/service_command.hpp"

namespace zorvik::services {

namespace {
struct KeepArgs {
  bool enable;
};
}  // namespace

void registerProcessCommands(bridge::CommandTable& table) {
  table.add(bridge::makeCommand<bridge::NoArgs>(
      "plugin:process|restart", bridge::Mode::Window, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        if (!(*s)->restart) return fail("перезапуск возможен только в запущенном приложении");
        if (auto restarted = (*s)->restart(); !restarted) return failWith("Не удалось перезапустить приложение: ", restarted.error());
        return bridge::Reply::null();
      }));
  table.add(bridge::makeCommand<KeepArgs>(
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
      }));
}

}  // namespace zorvik::services
