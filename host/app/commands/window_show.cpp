#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowShowCommand() {
  return onWindow("plugin:window|show", [](platform::Window& w) -> Result<bridge::Reply> {
    w.show();
    return bridge::Reply::null();
  });
}

}  // namespace zorvik::app
