#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowIsVisibleCommand() {
  return onWindow("plugin:window|is_visible", [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.isVisible())); });
}

}  // namespace zorvik::app
