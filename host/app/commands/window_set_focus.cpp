#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowSetFocusCommand() {
  return onWindow("plugin:window|set_focus", [](platform::Window& w) -> Result<bridge::Reply> {
    w.focus();
    return bridge::Reply::null();
  });
}

}  // namespace zorvik::app
