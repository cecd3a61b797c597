// Printers, page size, print jobs, the rasteriser and the test page as host
// commands. Each command is one file of this folder; register.cpp adds them.
#pragma once

#include "bridge/command.hpp"

namespace zorvik::printing {

void registerPrintingCommands(bridge::CommandTable& table);

bridge::Command checkPrintEngineCommand();
bridge::Command getPageSizeCommand();
bridge::Command getPrintersCommand();
bridge::Command printBytesCommand();
bridge::Command printFileCommand();
bridge::Command printTestPageCommand();
bridge::Command renderTestPageCommand();
bridge::Command setPageSizeCommand();

}  // namespace zorvik::printing
