// URL parsing shared by the label fetch and the page's http service. The same
// parser decides what is checked and what libcurl connects to, so a host that
// only looks allowed to one parser cannot reach a different one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"
#include "fetch/curl_handles.hpp"

namespace zorvik::fetch {

struct ParsedUrl {
  CurlUrl handle;      // handed to libcurl as it is (CURLOPT_CURLU)
  std::string text;    // the normalised URL, as messages name it
  std::string scheme;  // lower case
  std::string host;    // as parsed; an IPv6 literal keeps its brackets
  int port = 0;        // the URL's port, else the scheme's default
  bool explicitPort = false;

  // The host as the resolver takes it (no brackets).
  [[nodiscard]] std::string bareHost() const;
};

// Parses an absolute URL of any scheme; the error is the parser's own text.
[[nodiscard]] Result<ParsedUrl> parseUrl(std::string_view url);

// True when `host` is one of `allowed`, ignoring ASCII letter case only.
[[nodiscard]] bool hostAllowed(std::string_view host, const std::vector<std::string>& allowed);

// Steps 1-3 of a label fetch: parse, scheme http/https, host on the allow-list.
[[nodiscard]] Result<ParsedUrl> checkLabelUrl(std::string_view url, const std::vector<std::string>& allowed);

}  // namespace zorvik::fetch
