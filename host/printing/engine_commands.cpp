#include "printing/printing_commands.hpp"

namespace zorvik::printing {

void registerEngineCommands(bridge::CommandTable&) {}

}  // namespace zorvik::printing
