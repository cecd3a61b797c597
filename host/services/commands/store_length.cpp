#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeLengthCommand() {
  return onStore("length", [](KeyValueStore& s) -> Result<bridge::Reply> {
    return bridge::Reply(Json(s.data().size()));
  });
}

}  // namespace zorvik::services
