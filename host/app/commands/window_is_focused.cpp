#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowIsFocusedCommand() {
  return onWindow("plugin:window|is_focused", [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.isFocused())); });
}

}  // namespace zorvik::app
