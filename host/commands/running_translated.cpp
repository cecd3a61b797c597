#include "commands/core_commands.hpp"
#include "host_context.hpp"

namespace zorvik::commands {

// This host never runs under binary translation of another architecture.
bridge::Command runningTranslated() {
  return bridge::makeCommand<bridge::NoArgs>(
      "running_translated", bridge::Mode::Window, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> { return bridge::Reply(Json(false)); });
}

}  // namespace zorvik::commands
