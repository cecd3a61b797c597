#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowToggleMaximizeCommand() {
  return onWindow("plugin:window|internal_toggle_maximize", [](platform::Window& w) -> Result<bridge::Reply> {
    w.toggleMaximize();
    return bridge::Reply::null();
  });
}

}  // namespace zorvik::app
