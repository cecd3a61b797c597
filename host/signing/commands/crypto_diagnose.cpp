#include "signing/commands/signing_commands.hpp"
#include "host_context.hpp"
#include "signing/crypto_status.hpp"

namespace zorvik::signing {

bridge::Command cryptoDiagnoseCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "crypto_diagnose", bridge::Mode::Serial, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
        return bridge::Reply(Json(diagnoseReport()));
      });
}

}  // namespace zorvik::signing
