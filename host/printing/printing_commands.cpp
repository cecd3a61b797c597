#include "printing/printing_commands.hpp"

namespace zorvik::printing {

void registerPrintingCommands(bridge::CommandTable&) {}

}  // namespace zorvik::printing
