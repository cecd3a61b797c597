#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command appSupportsMultipleWindowsCommand() {
  return query("app", "supports_multiple_windows", [](HostServices&) { return false; });
}

}  // namespace zorvik::services
