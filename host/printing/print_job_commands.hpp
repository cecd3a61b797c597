// The commands that start print jobs from a file or from bytes.
#pragma once

#include "bridge/command.hpp"

namespace zorvik::printing {

// print_file, print_bytes
void registerPrintJobCommands(bridge::CommandTable& table);

}  // namespace zorvik::printing
