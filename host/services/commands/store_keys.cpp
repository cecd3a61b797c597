#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeKeysCommand() {
  return onStore("keys", [](KeyValueStore& s) -> Result<bridge::Reply> {
    Json out = Json::array();
    for (const auto& [k, v] : s.data().items()) out.push_back(k);
    return bridge::Reply(std::move(out));
  });
}

}  // namespace zorvik::services
