#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osHostnameCommand() {
  return query("os", "hostname", [](HostServices& s) { return s.os.hostname; });
}

}  // namespace zorvik::services
