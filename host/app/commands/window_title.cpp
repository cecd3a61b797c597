#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowTitleCommand() {
  return onWindow("plugin:window|title", [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.title())); });
}

}  // namespace zorvik::app
