#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

bridge::Command storeGetCommand() {
  return onKey("get", [](KeyValueStore& s, const std::string& key) -> Result<bridge::Reply> {
    auto v = s.get(key);
    return bridge::Reply(Json{{"value", v ? *v : Json(nullptr)}, {"exists", v.has_value()}});
  });
}

}  // namespace zorvik::services
