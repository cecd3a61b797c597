#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeResetCommand() {
  return onStore("reset", [](KeyValueStore& s) { return done(s.reset()); });
}

}  // namespace zorvik::services
