#include "signing/commands/signing_commands.hpp"
#include "host_context.hpp"
#include "signing/crypto_status.hpp"
#include "signing/text.hpp"
#include "signing/tool_search.hpp"

namespace zorvik::signing {

namespace {
struct CryptoDirArgs {
  std::optional<std::string> path;
};
}  // namespace

bridge::Command setCryptoDirCommand() {
  return bridge::makeCommand<CryptoDirArgs>(
      "set_crypto_dir", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<CryptoDirArgs> {
        auto path = r.optString("path");
        if (!path) return fail(path.error());
        return CryptoDirArgs{std::move(*path)};
      },
      [](const CryptoDirArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto folder = a.path ? trim(*a.path) : std::string_view();
        setFolderOverride(folder.empty() ? std::nullopt : std::optional<std::filesystem::path>(folder));
        return bridge::Reply(toJson(cryptoStatus()));
      });
}

}  // namespace zorvik::signing
