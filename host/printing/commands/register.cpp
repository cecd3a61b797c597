#include "printing/commands/printing_commands.hpp"

namespace zorvik::printing {

void registerPrintingCommands(bridge::CommandTable& table) {
  table.add(checkPrintEngineCommand());
  table.add(getPageSizeCommand());
  table.add(getPrintersCommand());
  table.add(printBytesCommand());
  table.add(printFileCommand());
  table.add(printTestPageCommand());
  table.add(renderTestPageCommand());
  table.add(setPageSizeCommand());
}

}  // namespace zorvik::printing
