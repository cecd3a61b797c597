#include "commands/core_commands.hpp"

namespace zorvik::commands {

void registerCoreCommands(bridge::CommandTable& table) {
  table.add(appendAppLog());
  table.add(appLogPath());
  table.add(runningTranslated());
  table.add(windowShow());
  table.add(windowSetFocus());
  table.add(windowIsVisible());
  registerWindowQueries(table);
}

}  // namespace zorvik::commands
