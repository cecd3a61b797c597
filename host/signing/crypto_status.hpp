// What the host knows about the signing tools: the status the settings page
// shows and the plain-text report for the support service.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/json.hpp"
#include "signing/tool_run.hpp"

namespace zorvik::signing {

struct CryptoStatus {
  bool available = false;
  std::optional<std::filesystem::path> certmgrPath;
  std::optional<std::filesystem::path> cryptcpPath;
  std::optional<std::string> version;
  std::vector<std::filesystem::path> searched;
  std::optional<std::filesystem::path> csptestPath;
};

// Searches the three tools and reads certmgr's first listing line, giving
// certmgr `limit` to answer (no answer: no version). Never fails.
[[nodiscard]] CryptoStatus cryptoStatus(std::chrono::milliseconds limit = kToolTimeLimit);
[[nodiscard]] Json toJson(const CryptoStatus& status);

// The report: the signer's usage text and the certificate listing, every
// failure folded into the text.
[[nodiscard]] std::string diagnoseReport();

}  // namespace zorvik::signing
