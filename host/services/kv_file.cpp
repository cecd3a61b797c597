#include "services/kv_file.hpp"

#include <chrono>
#include <fstream>
#include <iterator>

#include "core/system_error.hpp"
#include "log/app_log.hpp"
#include "platform/files.hpp"

namespace zorvik::services {

namespace fs = std::filesystem;

namespace {

std::string asideName(const fs::path& path) {
  std::string stamp = log::utcStamp(std::chrono::system_clock::now());
  for (char& c : stamp)
    if (c == ' ' || c == ':') c = '-';
  std::string base = path.string() + ".corrupt-" + stamp;
  std::string name = base;
  std::error_code ec;
  for (int i = 2; fs::exists(name, ec); ++i) name = base + "-" + std::to_string(i);
  return name;
}

}  // namespace

LoadedFile loadKeyValueFile(const fs::path& path) {
  LoadedFile out;
  std::ifstream in(path, std::ios::binary);
  if (!in) return out;  // missing: empty
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  in.close();
  auto json = Json::parse(text, nullptr, false);
  if (!json.is_discarded() && json.is_object()) {
    out.data = std::move(json);
    out.found = true;
    return out;
  }
  fs::path aside = asideName(path);
  std::error_code ec;
  fs::rename(path, aside, ec);
  if (ec) out.blocked = "не удалось отложить поврежденный файл " + path.string() + ": " + errorText(ec);
  else out.keptAside = aside;
  return out;
}

Status saveKeyValueFile(const fs::path& path, const Json& data) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) return fail(errorText(ec));
  return platform::writeFileAtomically(path, data.dump(2, ' ', false, Json::error_handler_t::replace), true);
}

}  // namespace zorvik::services
