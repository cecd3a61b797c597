// What the host agrees to sign: the checks every request passes before any
// tool runs, and the Base64 forms of the data.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/bytes.hpp"
#include "core/result.hpp"

namespace zorvik::signing {

inline constexpr std::size_t kAuthDataMin = 16;
inline constexpr std::size_t kAuthDataMax = 256;
inline constexpr std::size_t kDocumentMaxBytes = 5 * 1024 * 1024;

// The authorisation string: 16 to 256 of [0-9A-Za-z_-].
[[nodiscard]] Status checkAuthData(std::string_view data);
// Exactly 40 hexadecimal digits, either case.
[[nodiscard]] Status checkThumbprint(std::string_view thumbprint);
// "LK_RECEIPT" or "LP_RETURN", exactly.
[[nodiscard]] Status checkDocumentType(std::string_view type);
// Decodes and checks a document: Base64, not empty, at most 5 MiB.
[[nodiscard]] Result<Bytes> decodeDocument(std::string_view base64);

// Lenient Base64: '\n', '\r', ' ' and '=' are skipped anywhere, leftover
// bits at the end dropped; nothing when another character is outside the
// standard alphabet.
[[nodiscard]] std::optional<Bytes> decodeBase64(std::string_view text);
// Standard Base64 with padding and no line breaks.
[[nodiscard]] std::string encodeBase64(const Bytes& bytes);

}  // namespace zorvik::signing
