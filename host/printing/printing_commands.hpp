#pragma once

#include "bridge/command.hpp"

namespace zorvik::printing {

// Printers, page size, print jobs, the rasteriser and the test page.
void registerPrintingCommands(bridge::CommandTable& table);

// Each part of the module registers its own commands.
void registerTestPageCommands(bridge::CommandTable& table);  // render_test_page, print_test_page
void registerEngineCommands(bridge::CommandTable& table);    // check_print_engine
void registerPrinterCommands(bridge::CommandTable& table);   // printers, page size, print jobs

}  // namespace zorvik::printing
