// plugin:os — facts about the operating system.
#include "services/service_command.hpp"

namespace zorvik::services {

void registerOsCommands(bridge::CommandTable& table) {
  table.add(query("os", "os_type", [](HostServices& s) { return s.os.osType; }));
  table.add(query("os", "platform", [](HostServices& s) { return s.os.platform; }));
  table.add(query("os", "family", [](HostServices& s) { return s.os.family; }));
  table.add(query("os", "version", [](HostServices& s) { return s.os.version; }));
  table.add(query("os", "arch", [](HostServices& s) { return s.os.arch; }));
  table.add(query("os", "exe_extension", [](HostServices& s) { return s.os.exeExtension; }));
  table.add(query("os", "hostname", [](HostServices& s) { return s.os.hostname; }));
  table.add(query("os", "locale", [](HostServices& s) {
    return s.os.locale.empty() ? Json(nullptr) : Json(s.os.locale);
  }));
}

}  // namespace zorvik::services
