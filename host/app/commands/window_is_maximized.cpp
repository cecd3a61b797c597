#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowIsMaximizedCommand() {
  return onWindow("plugin:window|is_maximized", [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.isMaximized())); });
}

}  // namespace zorvik::app
