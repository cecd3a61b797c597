#include "app/commands/app_commands.hpp"
#include "app/commands/window_command.hpp"

namespace zorvik::app {

bridge::Command windowInnerSizeCommand() {
  return onWindow("plugin:window|inner_size", [](platform::Window& w) -> Result<bridge::Reply> {
    auto [width, height] = w.innerSize();
    return bridge::Reply(Json{{"width", width}, {"height", height}});
  });
}

}  // namespace zorvik::app
