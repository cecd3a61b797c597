#include "signing/commands/signing_commands.hpp"
#include "host_context.hpp"
#include "signing/signer.hpp"

namespace zorvik::signing {

namespace {
struct AuthArgs {
  std::string data;
  std::string thumbprint;
};
}  // namespace

bridge::Command signAuthDataCommand() {
  return bridge::makeCommand<AuthArgs>(
      "sign_auth_data", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<AuthArgs> {
        auto data = r.string("data");
        if (!data) return fail(data.error());
        auto thumbprint = r.string("thumbprint");
        if (!thumbprint) return fail(thumbprint.error());
        return AuthArgs{std::move(*data), std::move(*thumbprint)};
      },
      [](const AuthArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto signature = signAuthData(a.data, a.thumbprint);
        if (!signature) return fail(signature.error());
        return bridge::Reply(Json(std::move(*signature)));
      });
}

}  // namespace zorvik::signing
