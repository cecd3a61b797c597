#include "commands/command_set.hpp"

#include "app/commands/app_commands.hpp"
#include "fetch/commands/fetch_commands.hpp"
#include "printing/commands/printing_commands.hpp"
#include "services/commands/service_commands.hpp"
#include "signing/commands/signing_commands.hpp"
#include "update/commands/update_commands.hpp"

namespace zorvik::commands {

bridge::CommandTable buildCommandTable() {
  bridge::CommandTable table;
  app::registerAppCommands(table);
  services::registerServiceCommands(table);
  printing::registerPrintingCommands(table);
  signing::registerSigningCommands(table);
  fetch::registerFetchCommands(table);
  update::registerUpdateCommands(table);
  return table;
}

}  // namespace zorvik::commands
