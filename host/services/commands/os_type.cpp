#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osTypeCommand() {
  return query("os", "os_type", [](HostServices& s) { return s.os.osType; });
}

}  // namespace zorvik::services
