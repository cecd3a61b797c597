#include "app/commands/app_commands.hpp"
#include "host_context.hpp"

namespace zorvik::app {

// This host never runs under binary translation of another architecture.
bridge::Command runningTranslatedCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "running_translated", bridge::Mode::Window, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> { return bridge::Reply(Json(false)); });
}

}  // namespace zorvik::app
