#include "services/kv_file.hpp"

#include <chrono>

#include "core/system_error.hpp"
#include "core/utf8_path.hpp"
#include "log/app_log.hpp"
#include "platform/files.hpp"

namespace zorvik::services {

namespace fs = std::filesystem;

namespace {

std::string asideName(const fs::path& path) {
  std::string stamp = log::utcStamp(std::chrono::system_clock::now());
  for (char& c : stamp)
    if (c == ' ' || c == ':') c = '-';
  std::string base = utf8Text(path) + ".corrupt-" + stamp;
  std::string name = base;
  std::error_code ec;
  for (int i = 2; fs::exists(name, ec); ++i) name = base + "-" + std::to_string(i);
  return name;
}

}  // namespace

LoadedFile loadKeyValueFile(const fs::path& path) {
  LoadedFile out;
  auto text = platform::readExistingFile(path);
  if (text && !*text) return out;  // nothing there: a new store
  std::string unreadable;
  if (text) {
    auto json = Json::parse(**text, nullptr, false);
    if (!json.is_discarded() && json.is_object()) {
      out.data = std::move(json);
      out.found = true;
      return out;
    }
  } else {
    unreadable = text.error();
  }
  // Something is there that is not a store we can read (no permission, a
  // broken link, a folder, damaged text): it goes aside untouched, and only
  // then may a new file take its name.
  fs::path aside = asideName(path);
  std::error_code ec;
  fs::rename(path, aside, ec);
  if (!ec) {
    out.keptAside = aside;
    return out;
  }
  out.blocked = unreadable.empty()
                    ? "не удалось отложить поврежденный файл " + utf8Text(path) + ": " + errorText(ec)
                    : "не удалось прочитать файл " + utf8Text(path) + " (" + unreadable + ") и отложить его: " +
                          errorText(ec);
  return out;
}

Status saveKeyValueFile(const fs::path& path, const Json& data) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) return fail(errorText(ec));
  // A store reached through a symbolic link is written where the link leads,
  // so the link stays as the user set it up.
  fs::path target = path;
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    target = fs::canonical(path, ec);
    if (ec) return fail(errorText(ec));
  }
  return platform::writeFileAtomically(target, data.dump(2, ' ', false, Json::error_handler_t::replace), true);
}

}  // namespace zorvik::services
