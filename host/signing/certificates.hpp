// The user's signing certificates, read from certmgr's text listing. The
// listing is read in either language of the tool.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json.hpp"
#include "core/result.hpp"
#include "signing/tool_run.hpp"

namespace zorvik::signing {

struct Certificate {
  std::string thumbprint;  // 40 hexadecimal digits, lower case
  std::string subject;
  std::string issuer;
  std::optional<std::string> inn;
  std::optional<std::string> innLe;
  std::optional<std::string> innPersonal;
  std::optional<std::string> validFrom;  // as printed
  std::optional<std::string> validTo;    // as printed
  bool hasPrivateKey = false;

  bool operator==(const Certificate&) const = default;
};

[[nodiscard]] Json toJson(const Certificate& certificate);

// Every certificate block of a decoded listing, in listing order; a block
// without a thumbprint is left out.
[[nodiscard]] std::vector<Certificate> parseListing(std::string_view text);

// A subject line as ordered name/value pairs: split at commas outside
// double quotes, quoted values unquoted.
using SubjectAttribute = std::pair<std::string, std::string>;
[[nodiscard]] std::vector<SubjectAttribute> parseSubject(std::string_view subject);

struct InnFields {
  std::optional<std::string> inn;
  std::optional<std::string> innLe;
  std::optional<std::string> innPersonal;
};
// The organisation's and the person's INN from a subject, digits only.
[[nodiscard]] InnFields innFields(std::string_view subject);

// Whether the text is exactly 40 hexadecimal digits.
[[nodiscard]] bool isThumbprint(std::string_view text);

// Runs `certmgr -list`, ended after `limit` like every tool run, and reads
// it. Errors are the user-facing texts.
[[nodiscard]] Result<std::vector<Certificate>> listCertificates(std::chrono::milliseconds limit = kToolTimeLimit);

}  // namespace zorvik::signing
