#include "printing/printing_commands.hpp"

namespace zorvik::printing {

void registerPrinterCommands(bridge::CommandTable&) {}

}  // namespace zorvik::printing
