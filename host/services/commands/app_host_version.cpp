#include "services/commands/service_commands.hpp"
#include "app/config.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command appHostVersionCommand() {
  return query("app", "host_version", [](HostServices&) { return std::string(app::kVersion); });
}

}  // namespace zorvik::services
