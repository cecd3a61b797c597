#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osArchCommand() {
  return query("os", "arch", [](HostServices& s) { return s.os.arch; });
}

}  // namespace zorvik::services
