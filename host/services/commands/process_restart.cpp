#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command processRestartCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "plugin:process|restart", bridge::Mode::Window, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        if (!(*s)->restart) return fail("перезапуск возможен только в запущенном приложении");
        if (auto restarted = (*s)->restart(); !restarted) return failWith("Не удалось перезапустить приложение: ", restarted.error());
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::services
