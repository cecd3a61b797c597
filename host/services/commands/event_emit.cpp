#include "services/commands/service_commands.hpp"
#include "services/commands/event_command.hpp"

namespace zorvik::services {

bridge::Command eventEmitCommand() {
  return bridge::makeCommand<EmitArgs>("plugin:event|emit", bridge::Mode::Window, parseEmit, emit);
}

}  // namespace zorvik::services
