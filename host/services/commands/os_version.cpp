#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osVersionCommand() {
  return query("os", "version", [](HostServices& s) { return s.os.version; });
}

}  // namespace zorvik::services
