// The update manifest ("latest-{{target}}-{{arch}}.json") and version order. Pure.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::update {

// What a manifest offers for this machine.
struct UpdateInfo {
  std::string version;
  std::optional<std::string> notes;
  std::optional<std::string> pubDate;
  std::string url;
  std::string signature;  // Base64 of the signature file
};

// "linux" and "x86_64" put into the endpoint's {{target}} and {{arch}}.
[[nodiscard]] std::string expandEndpoint(std::string endpoint, std::string_view target, std::string_view arch);

// Reads {version, notes?, pub_date?, url, signature} or the same with
// url and signature under platforms["<target>-<arch>"].
[[nodiscard]] Result<UpdateInfo> parseManifest(std::string_view body, std::string_view target, std::string_view arch);

// Everything from the first "-" is dropped, the rest split at "." and each part
// read as a whole number (anything else counts as 0); missing parts are 0.
// Negative: a is older; 0: the same; positive: a is newer.
[[nodiscard]] int compareVersions(std::string_view a, std::string_view b);

// The version a bundle's signature vouches for: the word after "zorvik" at the
// start of its trusted comment ("zorvik 0.70.0 linux-x86_64"), without a
// leading "v"; "" when the comment names none.
[[nodiscard]] std::string signedVersion(std::string_view trustedComment);

// Why a bundle signed as `signedVersion` may not be installed when the manifest
// offered `offered` and `running` is running, or "" when it may: the signed
// version must be the offered one exactly and newer than the running one. The
// signature alone only says the maker built it; this keeps an old signed build
// from being passed off as a new one.
[[nodiscard]] std::string signedVersionProblem(std::string_view signedVersion, std::string_view offered,
                                               std::string_view running);

}  // namespace zorvik::update
