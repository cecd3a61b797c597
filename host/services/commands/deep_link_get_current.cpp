#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

// Links reach the page as "deep-link://new-url" events; the page never asks for one.
bridge::Command deepLinkGetCurrentCommand() {
  return query("deep-link", "get_current", [](HostServices&) { return Json(nullptr); });
}

}  // namespace zorvik::services
