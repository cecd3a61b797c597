#pragma once

#include "bridge/command.hpp"

namespace zorvik::commands {

// Every command of this host: its own commands and the host services.
bridge::CommandTable buildCommandTable();

}  // namespace zorvik::commands
