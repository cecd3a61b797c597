#pragma once

#include "bridge/command.hpp"

namespace zorvik::printing {

// Printers, page size, print jobs, the rasteriser and the test page.
void registerPrintingCommands(bridge::CommandTable& table);

}  // namespace zorvik::printing
