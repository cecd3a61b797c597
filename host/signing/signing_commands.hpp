#pragma once

#include "bridge/command.hpp"

namespace zorvik::signing {

// Signing tool discovery, certificates and signing.
void registerSigningCommands(bridge::CommandTable& table);

}  // namespace zorvik::signing
