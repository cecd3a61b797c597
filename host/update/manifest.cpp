#include "update/manifest.hpp"

#include <vector>

namespace zorvik::update {

namespace {

void replaceAll(std::string& text, std::string_view what, std::string_view with) {
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

std::vector<long long> versionParts(std::string_view v) {
  if (v.starts_with('v') || v.starts_with('V')) v.remove_prefix(1);
  v = v.substr(0, v.find('-'));
  std::vector<long long> parts;
  while (true) {
    auto dot = v.find('.');
    std::string_view part = v.substr(0, dot);
    long long n = 0;
    bool number = !part.empty();
    for (char c : part) {
      if (c < '0' || c > '9') {
        number = false;
        break;
      }
      n = n * 10 + (c - '0');
      if (n > 1'000'000'000'000LL) n = 1'000'000'000'000LL;
    }
    parts.push_back(number ? n : 0);
    if (dot == std::string_view::npos) break;
    v.remove_prefix(dot + 1);
  }
  return parts;
}

std::optional<std::string> optionalText(const Json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

std::string expandEndpoint(std::string endpoint, std::string_view target, std::string_view arch) {
  replaceAll(endpoint, "{{target}}", target);
  replaceAll(endpoint, "{{arch}}", arch);
  return endpoint;
}

Result<UpdateInfo> parseManifest(std::string_view body, std::string_view target, std::string_view arch) {
  Json j = Json::parse(body, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return fail("ответ сервера обновлений не JSON (manifest: invalid JSON)");
  UpdateInfo info;
  auto version = optionalText(j, "version");
  if (!version || version->empty()) return fail("в ответе сервера обновлений нет версии (manifest: no version)");
  info.version = *version;
  if (info.version.starts_with('v')) info.version.erase(0, 1);
  info.notes = optionalText(j, "notes");
  info.pubDate = optionalText(j, "pub_date");
  const Json* entry = &j;
  const std::string platform = std::string(target) + "-" + std::string(arch);
  if (auto platforms = j.find("platforms"); platforms != j.end() && platforms->is_object()) {
    auto it = platforms->find(platform);
    if (it == platforms->end() || !it->is_object())
      return fail("нет сборки для " + platform + ": platform " + platform + " not found in the response");
    entry = &*it;
  }
  auto url = optionalText(*entry, "url");
  auto signature = optionalText(*entry, "signature");
  if (!url || url->empty()) return fail("нет сборки для " + platform + ": url not found in the response");
  if (!signature || signature->empty())
    return fail("в ответе сервера обновлений нет подписи сборки (signature not found in the response)");
  info.url = *url;
  info.signature = *signature;
  return info;
}

int compareVersions(std::string_view a, std::string_view b) {
  auto pa = versionParts(a);
  auto pb = versionParts(b);
  for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
    long long x = i < pa.size() ? pa[i] : 0;
    long long y = i < pb.size() ? pb[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::string signedVersion(std::string_view trustedComment) {
  std::vector<std::string_view> words;
  while (!trustedComment.empty() && words.size() < 2) {
    auto start = trustedComment.find_first_not_of(" \t");
    if (start == std::string_view::npos) break;
    trustedComment.remove_prefix(start);
    auto end = trustedComment.find_first_of(" \t");
    words.push_back(trustedComment.substr(0, end));
    trustedComment.remove_prefix(end == std::string_view::npos ? trustedComment.size() : end);
  }
  if (words.size() < 2 || words[0] != "zorvik") return {};
  std::string_view version = words[1];
  if (version.starts_with('v')) version.remove_prefix(1);
  if (version.empty() || version.front() < '0' || version.front() > '9') return {};
  return std::string(version);
}

std::string signedVersionProblem(std::string_view signedVersion, std::string_view offered, std::string_view running) {
  const std::string prefix = "пакет обновления отклонен: ";
  if (offered.starts_with('v')) offered.remove_prefix(1);
  if (signedVersion.empty()) return prefix + "в подписи сборки не указана ее версия";
  if (signedVersion != offered)
    return prefix + "сборка подписана как версия " + std::string(signedVersion) + ", а сервер выдает ее за " +
           std::string(offered);
  if (compareVersions(signedVersion, running) <= 0)
    return prefix + "версия " + std::string(signedVersion) + " не новее установленной " + std::string(running);
  return {};
}

}  // namespace zorvik::update
