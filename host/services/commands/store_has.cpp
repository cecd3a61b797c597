#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeHasCommand() {
  return onKey("has", [](KeyValueStore& s, const std::string& key) -> Result<bridge::Reply> {
    return bridge::Reply(Json(s.has(key)));
  });
}

}  // namespace zorvik::services
