#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osFamilyCommand() {
  return query("os", "family", [](HostServices& s) { return s.os.family; });
}

}  // namespace zorvik::services
