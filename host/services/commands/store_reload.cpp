#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeReloadCommand() {
  return onStore("reload", [](KeyValueStore& s) { return done(s.reload()); });
}

}  // namespace zorvik::services
