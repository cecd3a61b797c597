#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeEntriesCommand() {
  return onStore("entries", [](KeyValueStore& s) -> Result<bridge::Reply> {
    Json out = Json::array();
    for (const auto& [k, v] : s.data().items()) out.push_back(Json::array({k, v}));
    return bridge::Reply(std::move(out));
  });
}

}  // namespace zorvik::services
