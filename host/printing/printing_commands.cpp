#include "printing/printing_commands.hpp"

namespace zorvik::printing {

void registerPrintingCommands(bridge::CommandTable& table) {
  registerTestPageCommands(table);
  registerEngineCommands(table);
  registerPrinterCommands(table);
}

}  // namespace zorvik::printing
