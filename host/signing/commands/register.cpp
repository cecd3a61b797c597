#include "signing/commands/signing_commands.hpp"

namespace zorvik::signing {

// Every signing command may start a tool, so each runs serially, on a lane of
// its own: a tool that hangs must not hold up print jobs queued behind it.
void registerSigningCommands(bridge::CommandTable& table) {
  for (auto* make : {cryptoAvailableCommand, setCryptoDirCommand, cryptoDiagnoseCommand, listCertificatesCommand,
                     signAuthDataCommand, signDocumentCommand})
    table.add(bridge::inLane("signing", make()));
}

}  // namespace zorvik::signing
