// A minimal DER reader that looks at the outline of a CMS SignedData: is the
// signer's certificate inside, and is the signed content inside or not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zorvik::signing {

enum class SignMode { Attached, Detached };

// One element: its tag and where its content lies in the buffer it was read from.
struct DerElement {
  std::uint8_t tag = 0;
  std::size_t contentStart = 0;
  std::size_t contentLength = 0;
  [[nodiscard]] std::size_t end() const { return contentStart + contentLength; }
};

// Reads the element at `pos` of `data`, which must end by `limit`. Tags with
// the high-tag-number form, the indefinite length and lengths of more than
// four bytes are not read.
[[nodiscard]] std::optional<DerElement> readDerElement(std::span<const std::uint8_t> data, std::size_t pos,
                                                       std::size_t limit);

struct SignatureShape {
  bool hasCertificates = false;
  bool contentAttached = false;
};

// The outline of a SignedData, or nothing when the bytes do not follow it up
// to the content type of the encapsulated content.
[[nodiscard]] std::optional<SignatureShape> readSignatureShape(std::span<const std::uint8_t> der);

// The message of the first finding for a signature made in `mode`, or nothing
// when the signature may be handed out.
[[nodiscard]] std::optional<std::string> signatureFinding(std::span<const std::uint8_t> der, SignMode mode);

}  // namespace zorvik::signing
