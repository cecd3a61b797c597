// Signing tool discovery, certificates and signing as host commands. Each
// command is one file of this folder; register.cpp adds them.
#pragma once

#include "bridge/command.hpp"

namespace zorvik::signing {

void registerSigningCommands(bridge::CommandTable& table);

bridge::Command cryptoAvailableCommand();
bridge::Command setCryptoDirCommand();
bridge::Command cryptoDiagnoseCommand();
bridge::Command listCertificatesCommand();
bridge::Command signAuthDataCommand();
bridge::Command signDocumentCommand();

}  // namespace zorvik::signing
