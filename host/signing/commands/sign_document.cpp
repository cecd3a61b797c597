#include "signing/commands/signing_commands.hpp"
#include "host_context.hpp"
#include "signing/signer.hpp"

namespace zorvik::signing {

namespace {
struct DocumentArgs {
  std::string documentBase64;
  std::string documentType;
  std::string thumbprint;
};
}  // namespace

bridge::Command signDocumentCommand() {
  return bridge::makeCommand<DocumentArgs>(
      "sign_document", bridge::Mode::Serial,
      [](const bridge::ArgReader& r) -> Result<DocumentArgs> {
        auto document = r.string("documentBase64");
        if (!document) return fail(document.error());
        auto type = r.string("documentType");
        if (!type) return fail(type.error());
        auto thumbprint = r.string("thumbprint");
        if (!thumbprint) return fail(thumbprint.error());
        return DocumentArgs{std::move(*document), std::move(*type), std::move(*thumbprint)};
      },
      [](const DocumentArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto signature = signDocument(a.documentBase64, a.documentType, a.thumbprint);
        if (!signature) return fail(signature.error());
        return bridge::Reply(Json(std::move(*signature)));
      });
}

}  // namespace zorvik::signing
