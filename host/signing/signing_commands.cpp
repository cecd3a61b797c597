#include "signing/signing_commands.hpp"

namespace zorvik::signing {

void registerSigningCommands(bridge::CommandTable&) {}

}  // namespace zorvik::signing
