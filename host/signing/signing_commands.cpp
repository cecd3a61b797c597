#include "signing/signing_commands.hpp"

#include "host_context.hpp"
#include "signing/certificates.hpp"
#include "signing/crypto_status.hpp"
#include "signing/signer.hpp"
#include "signing/text.hpp"
#include "signing/tool_search.hpp"

namespace zorvik::signing {

namespace {

using bridge::ArgReader;
using bridge::Mode;
using bridge::NoArgs;
using bridge::Reply;

// Every signing command may start a tool, so each runs on the serial worker.

bridge::Command cryptoAvailable() {
  return bridge::makeCommand<NoArgs>("crypto_available", Mode::Serial, bridge::noArgs,
                                     [](const NoArgs&, HostContext&) -> Result<Reply> {
                                       return Reply(toJson(cryptoStatus()));
                                     });
}

struct CryptoDirArgs {
  std::optional<std::string> path;
};

bridge::Command setCryptoDir() {
  return bridge::makeCommand<CryptoDirArgs>(
      "set_crypto_dir", Mode::Serial,
      [](const ArgReader& r) -> Result<CryptoDirArgs> {
        auto path = r.optString("path");
        if (!path) return fail(path.error());
        return CryptoDirArgs{std::move(*path)};
      },
      [](const CryptoDirArgs& a, HostContext&) -> Result<Reply> {
        auto folder = a.path ? trim(*a.path) : std::string_view();
        setFolderOverride(folder.empty() ? std::nullopt : std::optional<std::filesystem::path>(folder));
        return Reply(toJson(cryptoStatus()));
      });
}

bridge::Command cryptoDiagnose() {
  return bridge::makeCommand<NoArgs>("crypto_diagnose", Mode::Serial, bridge::noArgs,
                                     [](const NoArgs&, HostContext&) -> Result<Reply> {
                                       return Reply(Json(diagnoseReport()));
                                     });
}

bridge::Command listCertificatesCommand() {
  return bridge::makeCommand<NoArgs>("list_certificates", Mode::Serial, bridge::noArgs,
                                     [](const NoArgs&, HostContext&) -> Result<Reply> {
                                       auto certificates = listCertificates();
                                       if (!certificates) return fail(certificates.error());
                                       Json list = Json::array();
                                       for (const auto& c : *certificates) list.push_back(toJson(c));
                                       return Reply(std::move(list));
                                     });
}

struct AuthArgs {
  std::string data;
  std::string thumbprint;
};

bridge::Command signAuthDataCommand() {
  return bridge::makeCommand<AuthArgs>(
      "sign_auth_data", Mode::Serial,
      [](const ArgReader& r) -> Result<AuthArgs> {
        auto data = r.string("data");
        if (!data) return fail(data.error());
        auto thumbprint = r.string("thumbprint");
        if (!thumbprint) return fail(thumbprint.error());
        return AuthArgs{std::move(*data), std::move(*thumbprint)};
      },
      [](const AuthArgs& a, HostContext&) -> Result<Reply> {
        auto signature = signAuthData(a.data, a.thumbprint);
        if (!signature) return fail(signature.error());
        return Reply(Json(std::move(*signature)));
      });
}

struct DocumentArgs {
  std::string documentBase64;
  std::string documentType;
  std::string thumbprint;
};

bridge::Command signDocumentCommand() {
  return bridge::makeCommand<DocumentArgs>(
      "sign_document", Mode::Serial,
      [](const ArgReader& r) -> Result<DocumentArgs> {
        auto document = r.string("documentBase64");
        if (!document) return fail(document.error());
        auto type = r.string("documentType");
        if (!type) return fail(type.error());
        auto thumbprint = r.string("thumbprint");
        if (!thumbprint) return fail(thumbprint.error());
        return DocumentArgs{std::move(*document), std::move(*type), std::move(*thumbprint)};
      },
      [](const DocumentArgs& a, HostContext&) -> Result<Reply> {
        auto signature = signDocument(a.documentBase64, a.documentType, a.thumbprint);
        if (!signature) return fail(signature.error());
        return Reply(Json(std::move(*signature)));
      });
}

}  // namespace

void registerSigningCommands(bridge::CommandTable& table) {
  // The signing tools get a lane of their own: a tool that hangs must not
  // hold up print jobs queued behind it.
  for (auto* make : {cryptoAvailable, setCryptoDir, cryptoDiagnose, listCertificatesCommand, signAuthDataCommand,
                     signDocumentCommand})
    table.add(bridge::inLane("signing", make()));
}

}  // namespace zorvik::signing
