#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowScaleFactorCommand() {
  return onWindow("plugin:window|scale_factor", [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.scaleFactor())); });
}

}  // namespace zorvik::app
