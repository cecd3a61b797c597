#include "services/commands/service_commands.hpp"
#include "services/commands/event_command.hpp"

namespace zorvik::services {

// One window: every target is the page itself.
bridge::Command eventEmitToCommand() {
  return bridge::makeCommand<EmitArgs>(
      "plugin:event|emit_to", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<EmitArgs> {
        if (auto target = r.optValue("target"); !target) return fail(r.invalid("target", "missing"));
        return parseEmit(r);
      },
      emit);
}

}  // namespace zorvik::services
