#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeClearCommand() {
  return onStore("clear", [](KeyValueStore& s) { return done(s.clear()); });
}

}  // namespace zorvik::services
