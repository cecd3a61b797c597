#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeValuesCommand() {
  return onStore("values", [](KeyValueStore& s) -> Result<bridge::Reply> {
    Json out = Json::array();
    for (const auto& [k, v] : s.data().items()) out.push_back(v);
    return bridge::Reply(std::move(out));
  });
}

}  // namespace zorvik::services
