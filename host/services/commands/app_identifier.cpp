#include "services/commands/service_commands.hpp"
#include "app/config.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command appIdentifierCommand() {
  return query("app", "identifier", [](HostServices&) { return std::string(app::kIdentifier); });
}

}  // namespace zorvik::services
