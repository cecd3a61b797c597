#include "log/app_log.hpp"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

#include "app/config.hpp"
#include "core/system_error.hpp"
#include "platform/paths.hpp"

namespace zorvik::log {

namespace fs = std::filesystem;

std::string utcStamp(std::chrono::system_clock::time_point t) {
  auto secs = std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
  if (secs < 0) secs = 0;
  std::time_t tt = static_cast<std::time_t>(secs);
  std::tm tm{};
  gmtime_r(&tt, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string oneLine(std::string_view message) {
  std::string out(message);
  for (char& c : out)
    if (c == '\n') c = ' ';
  return out;
}

Result<fs::path> defaultLogFolder() {
  auto base = platform::localDataDir();
  if (!base) return fail(base.error());
  return *base / app::kIdentifier / "logs";
}

Result<fs::path> AppLog::path() const {
  auto folder = folder_();
  if (!folder) return failWith("Не удалось определить папку журналов: ", folder.error());
  return *folder / "startup.log";
}

Status AppLog::write(std::string_view message) const {
  auto folder = folder_();
  if (!folder) return failWith("Не удалось определить папку журналов: ", folder.error());

  std::error_code ec;
  fs::create_directories(*folder, ec);
  if (ec) return failWith("Не удалось создать папку журналов: ", errorText(ec));

  const fs::path current = *folder / "startup.log";
  auto size = fs::file_size(current, ec);
  if (!ec && size > kRotateAbove) {
    const fs::path old = *folder / "startup.log.1";
    fs::remove(old, ec);  // a missing old file is fine
    fs::rename(current, old, ec);
    if (ec) return failWith("Не удалось повернуть журнал: ", errorText(ec));
  }

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(current.c_str(), "ab"), &std::fclose);
  if (!file) return failWith("Не удалось открыть журнал: ", errnoText(errno));

  std::string line = utcStamp(std::chrono::system_clock::now());
  line += ' ';
  line += oneLine(message);
  line += '\n';
  if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size() || std::fflush(file.get()) != 0)
    return failWith("Не удалось записать в журнал: ", errnoText(errno));
  if (std::fclose(file.release()) != 0) return failWith("Не удалось записать в журнал: ", errnoText(errno));
  return {};
}

}  // namespace zorvik::log
