#include "services/service_command.hpp"

namespace zorvik::services {

void registerServiceCommands(bridge::CommandTable& table) {
  registerEventCommands(table);
  registerStoreCommands(table);
  registerOpenerCommands(table);
  registerOsCommands(table);
  registerProcessCommands(table);
  registerAppCommands(table);
}

}  // namespace zorvik::services
