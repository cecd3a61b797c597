#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeDeleteCommand() {
  return onKey("delete", [](KeyValueStore& s, const std::string& key) -> Result<bridge::Reply> {
    auto removed = s.remove(key);
    if (!removed) return fail(removed.error());
    return bridge::Reply(Json(*removed));
  });
}

}  // namespace zorvik::services
