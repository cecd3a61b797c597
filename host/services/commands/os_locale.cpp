#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

bridge::Command osLocaleCommand() {
  return query("os", "locale", [](HostServices& s) {
    return s.os.locale.empty() ? Json(nullptr) : Json(s.os.locale);
  });
}

}  // namespace zorvik::services
