#include "commands/command_set.hpp"

#include "commands/core_commands.hpp"
#include "fetch/fetch_commands.hpp"
#include "printing/printing_commands.hpp"
#include "services/host_services.hpp"
#include "signing/signing_commands.hpp"

namespace zorvik::commands {

bridge::CommandTable buildCommandTable() {
  bridge::CommandTable table;
  registerCoreCommands(table);
  services::registerServiceCommands(table);
  printing::registerPrintingCommands(table);
  signing::registerSigningCommands(table);
  fetch::registerFetchCommands(table);
  return table;
}

}  // namespace zorvik::commands
