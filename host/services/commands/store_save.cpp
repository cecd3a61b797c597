#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeSaveCommand() {
  return onStore("save", [](KeyValueStore& s) { return done(s.save()); });
}

}  // namespace zorvik::services
