#include "platform/paths.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/system_error.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

namespace {

Result<fs::path> homeDir() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return fs::path(home);
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  int rc = getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found);
  if (rc != 0) return fail(errnoText(rc));
  if (!found || !found->pw_dir || !*found->pw_dir) return fail("no home folder for this user");
  return fs::path(found->pw_dir);
}

// XDG base folder: the variable when it holds an absolute path, else ~/<fallback>.
Result<fs::path> xdgDir(const char* var, const char* fallback) {
  if (const char* v = std::getenv(var); v && *v == '/') return fs::path(v);
  auto home = homeDir();
  if (!home) return fail(home.error());
  return *home / fallback;
}

}  // namespace

Result<fs::path> localDataDir() { return xdgDir("XDG_DATA_HOME", ".local/share"); }

Result<fs::path> cacheDir() { return xdgDir("XDG_CACHE_HOME", ".cache"); }

Result<fs::path> runtimeDir() {
  if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && *v == '/') return fs::path(v);
  return fs::temp_directory_path();
}

Result<fs::path> executableDir() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fail(errorText(ec));
  return exe.parent_path();
}

namespace {

// The DOWNLOAD entry of the desktop's user-dirs.dirs: XDG_DOWNLOAD_DIR="$HOME/…"
// or an absolute path in double quotes, backslash escaping the next character.
std::optional<fs::path> userDirsDownload(const fs::path& home) {
  auto config = xdgDir("XDG_CONFIG_HOME", ".config");
  if (!config) return std::nullopt;
  std::ifstream in(*config / "user-dirs.dirs");
  std::string line;
  std::optional<fs::path> found;
  while (std::getline(in, line)) {
    std::string_view rest(line);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    constexpr std::string_view kKey = "XDG_DOWNLOAD_DIR";
    if (!rest.starts_with(kKey)) continue;
    rest.remove_prefix(kKey.size());
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (!rest.starts_with('=')) continue;
    rest.remove_prefix(1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    if (!rest.starts_with('"')) continue;
    rest.remove_prefix(1);
    std::string value;
    bool relativeToHome = false;
    if (rest.starts_with("$HOME")) {
      relativeToHome = true;
      rest.remove_prefix(5);
      if (!rest.empty() && rest.front() != '/' && rest.front() != '"') continue;
    } else if (!rest.starts_with('/')) {
      continue;
    }
    bool closed = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == '"') {
        closed = true;
        break;
      }
      if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
      value += rest[i];
    }
    if (!closed) continue;
    if (relativeToHome) {
      while (value.starts_with('/')) value.erase(0, 1);
      found = value.empty() ? home : home / value;
    } else {
      found = fs::path(value);
    }
  }
  return found;
}

}  // namespace

Result<fs::path> downloadsDir() {
  auto home = homeDir();
  if (!home) return fail(home.error());
  if (auto configured = userDirsDownload(*home)) return *configured;
  return *home / "Downloads";
}

}  // namespace zorvik::platform
