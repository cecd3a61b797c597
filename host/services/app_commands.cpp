// plugin:app and plugin:deep-link queries.
#include "app/config.hpp"
#include "services/service_command.hpp"

namespace zorvik::services {


void registerAppCommands(bridge::CommandTable& table) {
  table.add(query("app", "name", [](HostServices&) { return std::string(app::kProductName); }));
  table.add(query("app", "version", [](HostServices&) { return std::string(app::kVersion); }));
  table.add(query("app", "identifier", [](HostServices&) { return std::string(app::kIdentifier); }));
  table.add(query("app", "host_version", [](HostServices&) { return std::string(app::kVersion); }));
  table.add(query("app", "bundle_type", [](HostServices&) { return std::string("deb"); }));
  table.add(query("app", "supports_multiple_windows", [](HostServices&) { return false; }));
  // The desktop raises no application-level events; listeners are accepted and never called.
  for (const char* name : {"register_listener", "remove_listener"})
    table.add(bridge::makeCommand<bridge::NoArgs>(pluginName("app", name), bridge::Mode::Window, bridge::noArgs,
                                                  [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
                                                    return bridge::Reply::null();
                                                  }));
  // Links reach the page as "deep-link://new-url" events; the page never asks for one.
  table.add(query("deep-link", "get_current", [](HostServices&) { return Json(nullptr); }));
}

}  // namespace zorvik::services
