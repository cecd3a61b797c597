// Signing the authorisation string and the documents with the installed
// signing tool, in a private folder removed afterwards.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "signing/certificates.hpp"
#include "signing/der_shape.hpp"

namespace zorvik::signing {

// The command line of cryptcp for the data file `data`.
[[nodiscard]] std::vector<std::string> cryptcpArgs(SignMode mode, std::string_view thumbprint,
                                                   const std::filesystem::path& data);

// The command line of csptest, with the options its usage text `options`
// shows (every option assumed when that text is empty).
[[nodiscard]] std::vector<std::string> csptestArgs(SignMode mode, std::string_view options, std::string_view thumbprint,
                                                   std::string_view holder, const std::filesystem::path& data,
                                                   const std::filesystem::path& signature);

// The holder name csptest finds the certificate by: the subject's CN, or the
// whole subject when it has none.
[[nodiscard]] std::string holderName(const Certificate& certificate);

// Why the tool made no signature, from what it printed.
[[nodiscard]] std::string failureReason(std::string_view printed);

// The signature file in `folder`: `expected` when it exists, else the first
// "auth.bin*" file with a signature extension.
[[nodiscard]] std::optional<std::filesystem::path> findSignatureFile(const std::filesystem::path& folder,
                                                                     const std::filesystem::path& expected);

// csptest's usage text, read once per process (empty when it cannot be run).
[[nodiscard]] std::string csptestOptions(const std::filesystem::path& csptest);
// Makes the next csptestOptions() read the text again (tests).
void resetCsptestOptions();

// The two signing requests: Base64 of a DER SignedData, or the user-facing error.
[[nodiscard]] Result<std::string> signAuthData(std::string_view data, std::string_view thumbprint);
[[nodiscard]] Result<std::string> signDocument(std::string_view documentBase64, std::string_view documentType,
                                               std::string_view thumbprint);

}  // namespace zorvik::signing
