#include "fetch/url.hpp"

#include <charconv>

#include "core/text.hpp"
#include "fetch/text.hpp"

namespace zorvik::fetch {

std::string ParsedUrl::bareHost() const {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

namespace {

Result<std::string> part(CURLU* u, CURLUPart which, unsigned flags = 0) {
  char* raw = nullptr;
  CURLUcode rc = curl_url_get(u, which, &raw, flags);
  CurlString owned(raw);
  if (rc == CURLUE_NO_HOST || rc == CURLUE_NO_PORT) return std::string();
  if (rc != CURLUE_OK) return fail(curl_url_strerror(rc));
  return std::string(raw ? raw : "");
}

}  // namespace

Result<ParsedUrl> parseUrl(std::string_view url) {
  ensureCurl();
  ParsedUrl p;
  p.handle.reset(curl_url());
  if (!p.handle) return fail(curl_url_strerror(CURLUE_OUT_OF_MEMORY));
  // Any scheme parses, so that a wrong one is reported as a wrong scheme.
  CURLUcode rc = curl_url_set(p.handle.get(), CURLUPART_URL, std::string(url).c_str(), CURLU_NON_SUPPORT_SCHEME);
  if (rc != CURLUE_OK) return fail(curl_url_strerror(rc));
  auto text = part(p.handle.get(), CURLUPART_URL);
  auto scheme = part(p.handle.get(), CURLUPART_SCHEME);
  auto host = part(p.handle.get(), CURLUPART_HOST);
  auto explicitPort = part(p.handle.get(), CURLUPART_PORT);
  auto port = part(p.handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  for (const auto* r : {&text, &scheme, &host, &explicitPort, &port})
    if (!*r) return fail(r->error());
  p.text = std::move(*text);
  p.scheme = asciiLower(*scheme);
  p.host = std::move(*host);
  p.explicitPort = !explicitPort->empty();
  if (!port->empty()) std::from_chars(port->data(), port->data() + port->size(), p.port);
  return p;
}

bool hostAllowed(std::string_view host, const std::vector<std::string>& allowed) {
  for (const auto& a : allowed)
    if (asciiEqualNoCase(host, a)) return true;
  return false;
}

Result<ParsedUrl> checkLabelUrl(std::string_view url, const std::vector<std::string>& allowed) {
  auto parsed = parseUrl(url);
  if (!parsed) return failWith("Некорректная ссылка: ", parsed.error());
  if (parsed->scheme != "https" && parsed->scheme != "http")
    return failWith("Недопустимая схема ссылки на этикетку: ", parsed->scheme);
  if (!hostAllowed(parsed->host, allowed))
    return fail("Домен " + parsed->host + " не разрешен для скачивания этикетки");
  return parsed;
}

}  // namespace zorvik::fetch
