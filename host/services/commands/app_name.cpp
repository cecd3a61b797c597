#include "services/commands/service_commands.hpp"
#include "app/config.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command appNameCommand() {
  return query("app", "name", [](HostServices&) { return std::string(app::kProductName); });
}

}  // namespace zorvik::services
