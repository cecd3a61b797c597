// An installed copy on Windows: <root>\versions\<name>\zorvik.exe and the file
// <root>\current holding the name of the version that starts (links need
// rights an ordinary user lacks). The file is replaced in one move.
#include "platform/app_install.hpp"

#include <random>

#include "core/utf8_path.hpp"
#include "platform/files.hpp"
#include "platform/paths.hpp"
#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

namespace {

fs::path selfExe() {
  auto dir = executableDir();
  if (!dir) return {};
  std::wstring buffer(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return fs::path(buffer);
}

}  // namespace

std::optional<InstallLayout> layoutOf(const fs::path& exe) {
  const fs::path versionDir = exe.parent_path();
  const fs::path versions = versionDir.parent_path();
  if (versions.filename() != L"versions") return std::nullopt;
  InstallLayout layout{versions.parent_path()};
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(layout.current(), ec))) return std::nullopt;
  return layout;
}

std::optional<InstallLayout> runningLayout() {
  auto exe = selfExe();
  if (exe.empty()) return std::nullopt;
  return layoutOf(exe);
}

Status switchCurrentVersion(const InstallLayout& layout, const fs::path& versionDir) {
  const std::string name = utf8Text(versionDir.filename());
  if (auto written = writeFileAtomically(layout.current(), name, false); !written)
    return fail("не удалось переключить версию: " + written.error());
  return {};
}

Result<fs::path> currentVersionDir(const InstallLayout& layout) {
  auto text = readExistingFile(layout.current());
  if (!text) return fail("не удалось прочитать текущую версию: " + text.error());
  if (!*text || (*text)->empty() || (*text)->find_first_of("/\\") != std::string::npos || **text == "." ||
      **text == "..")
    return fail("не удалось прочитать текущую версию: " + win32::errorText(ERROR_FILE_NOT_FOUND));
  return layout.versions() / pathFromUtf8(**text);
}

fs::path restartProgram() {
  if (auto layout = runningLayout()) {
    if (auto dir = currentVersionDir(*layout)) return *dir / L"zorvik.exe";
  }
  return selfExe();
}

}  // namespace zorvik::platform
