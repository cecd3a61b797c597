#include "platform/app_install.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <random>

#include "core/system_error.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

std::optional<InstallLayout> layoutOf(const fs::path& exe) {
  const fs::path versionDir = exe.parent_path();
  const fs::path versions = versionDir.parent_path();
  if (versions.filename() != "versions") return std::nullopt;
  InstallLayout layout{versions.parent_path()};
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(layout.current(), ec))) return std::nullopt;
  return layout;
}

static fs::path selfExe() {
  std::error_code ec;
  auto real = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : real;
}

std::optional<InstallLayout> runningLayout() {
  auto exe = selfExe();
  if (exe.empty()) return std::nullopt;
  return layoutOf(exe);
}

Status switchCurrentVersion(const InstallLayout& layout, const fs::path& versionDir) {
  // A relative link keeps the copy working when the whole root is moved.
  const fs::path target = fs::path("versions") / versionDir.filename();
  std::random_device rd;
  const fs::path staged = layout.root / (".current-" + std::to_string(rd()));
  std::error_code ec;
  fs::create_symlink(target, staged, ec);
  if (ec) return fail("не удалось подготовить переключение версии: " + ec.message());
  // rename(2) replaces the old link atomically.
  if (::rename(staged.c_str(), layout.current().c_str()) != 0) {
    int err = errno;
    fs::remove(staged, ec);
    return fail("не удалось переключить версию: " + errnoText(err));
  }
  // The new link must survive a power cut once the switch is reported.
  if (int fd = ::open(layout.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return {};
}

Result<fs::path> currentVersionDir(const InstallLayout& layout) {
  std::error_code ec;
  auto target = fs::read_symlink(layout.current(), ec);
  if (ec) return fail("не удалось прочитать текущую версию: " + ec.message());
  return target.is_absolute() ? target : layout.root / target;
}

fs::path restartProgram() {
  if (auto layout = runningLayout()) {
    if (auto dir = currentVersionDir(*layout)) return *dir / "zorvik";
  }
  auto exe = selfExe();
  return exe.empty() ? fs::path("/proc/self/exe") : exe;
}

}  // namespace zorvik::platform
