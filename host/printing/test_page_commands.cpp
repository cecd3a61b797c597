#include "printing/printing_commands.hpp"

namespace zorvik::printing {

void registerTestPageCommands(bridge::CommandTable&) {}

}  // namespace zorvik::printing
