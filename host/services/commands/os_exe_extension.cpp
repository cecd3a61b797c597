#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osExeExtensionCommand() {
  return query("os", "exe_extension", [](HostServices& s) { return s.os.exeExtension; });
}

}  // namespace zorvik::services
