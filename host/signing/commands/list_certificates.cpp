#include "signing/commands/signing_commands.hpp"
#include "host_context.hpp"
#include "signing/certificates.hpp"

namespace zorvik::signing {

bridge::Command listCertificatesCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "list_certificates", bridge::Mode::Serial, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
        auto certificates = listCertificates();
        if (!certificates) return fail(certificates.error());
        Json list = Json::array();
        for (const auto& c : *certificates) list.push_back(toJson(c));
        return bridge::Reply(std::move(list));
      });
}

}  // namespace zorvik::signing
