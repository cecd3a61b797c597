#include "services/commands/service_commands.hpp"
#include "app/config.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command appBundleTypeCommand() {
  return query("app", "bundle_type", [](HostServices&) { return std::string("deb"); });
}

}  // namespace zorvik::services
