#include "log/app_log.hpp"

#include <cerrno>
#include <cstdio>

#include "app/config.hpp"
#include "core/system_error.hpp"
#include "platform/c_file.hpp"
#include "platform/paths.hpp"

namespace zorvik::log {

namespace fs = std::filesystem;

std::string utcStamp(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  auto secs = floor<seconds>(t);
  if (secs.time_since_epoch().count() < 0) secs = sys_seconds{};
  const auto day = floor<days>(secs);
  const year_month_day date(day);
  const hh_mm_ss time(secs - day);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
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

  platform::CFile file = platform::openFile(current, "ab");
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
