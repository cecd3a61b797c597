#include "services/commands/service_commands.hpp"
#include "services/commands/service_command.hpp"

namespace zorvik::services {

// The desktop raises no application-level events; listeners are accepted and
// never called. One command under the names register_listener and remove_listener.
bridge::Command appListenerCommand(std::string_view name) {
  return bridge::makeCommand<bridge::NoArgs>(pluginName("app", name), bridge::Mode::Window, bridge::noArgs,
                                            [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
                                              return bridge::Reply::null();
                                            });
}

}  // namespace zorvik::services
