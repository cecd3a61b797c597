#include "signing/tool_search.hpp"

#include <algorithm>
#include <mutex>

#include "core/utf8_path.hpp"
#include "platform/process.hpp"
#include "signing/text.hpp"

namespace zorvik::signing {

namespace fs = std::filesystem;

namespace {

std::mutex overrideLock;
std::optional<fs::path> overrideFolder;

// Held while the default list is computed, so concurrent first callers wait
// for one computation.
std::mutex defaultsLock;
std::optional<std::vector<fs::path>> defaults;

bool isRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

void setFolderOverride(std::optional<fs::path> folder) {
  std::lock_guard lock(overrideLock);
  overrideFolder = std::move(folder);
}

std::optional<fs::path> folderOverride() {
  std::lock_guard lock(overrideLock);
  return overrideFolder;
}

std::vector<fs::path> overrideFolders(const fs::path& folder) {
  return {folder, folder / "CSP", folder / "cryptcp", folder / "bin", folder / "SDK", folder / "CAdES"};
}

std::vector<fs::path> sortedUnique(std::vector<fs::path> folders) {
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  return folders;
}

std::vector<fs::path> defaultFolders() {
  std::lock_guard lock(defaultsLock);
  if (!defaults) {
    auto folders = platform::signingToolInstallFolders();
    for (auto& entry : platform::programSearchPath()) folders.push_back(std::move(entry));
    defaults = sortedUnique(std::move(folders));
  }
  return *defaults;
}

void resetDefaultFolders() {
  std::lock_guard lock(defaultsLock);
  defaults.reset();
}

std::vector<fs::path> candidateFolders() {
  std::vector<fs::path> candidates;
  // Copied out so no lock is held during the search.
  if (auto folder = folderOverride()) candidates = overrideFolders(*folder);
  for (auto& folder : defaultFolders()) candidates.push_back(std::move(folder));
  return candidates;
}

std::optional<fs::path> findToolIn(const std::vector<fs::path>& candidates, std::string_view tool) {
  const std::string file = platform::programFileName(tool);
  for (const auto& folder : candidates)
    if (isRegularFile(folder / file)) return folder / file;
  // A tool one folder down, e.g. in a versioned subfolder.
  for (const auto& folder : candidates) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) continue;
    for (; it != end; it.increment(ec)) {
      if (ec) break;
      std::error_code typeEc;
      if (it->is_symlink(typeEc) || !it->is_directory(typeEc)) continue;
      if (isRegularFile(it->path() / file)) return it->path() / file;
    }
  }
  return std::nullopt;
}

std::optional<fs::path> findTool(std::string_view tool) { return findToolIn(candidateFolders(), tool); }

std::optional<Signer> chooseSigner() {
  if (auto path = findTool(kCryptcp)) return Signer{kCryptcp, *path};
  if (auto path = findTool(kCsptest)) return Signer{kCsptest, *path};
  return std::nullopt;
}

std::string pathText(const fs::path& path) { return toValidUtf8(utf8Text(path)); }

}  // namespace zorvik::signing
