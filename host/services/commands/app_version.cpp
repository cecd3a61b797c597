#include "services/commands/service_commands.hpp"
#include "app/config.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command appVersionCommand() {
  return query("app", "version", [](HostServices&) { return std::string(app::version()); });
}

}  // namespace zorvik::services
