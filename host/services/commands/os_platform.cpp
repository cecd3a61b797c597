#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osPlatformCommand() {
  return query("os", "platform", [](HostServices& s) { return s.os.platform; });
}

}  // namespace zorvik::services
