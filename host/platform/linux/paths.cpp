#include "platform/paths.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

}  // namespace zorvik::platform
