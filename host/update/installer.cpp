#include "update/installer.hpp"

#include <random>
#include <vector>

#include "core/utf8_path.hpp"
#include "platform/process.hpp"
#include "update/bundle.hpp"

namespace zorvik::update {

namespace fs = std::filesystem;

namespace {

const std::string kUnpackPrefix = ".unpack-";

// Removes a folder tree when it goes out of scope, unless released.
class TreeGuard {
 public:
  explicit TreeGuard(fs::path path) : path_(std::move(path)) {}
  TreeGuard(const TreeGuard&) = delete;
  TreeGuard& operator=(const TreeGuard&) = delete;
  ~TreeGuard() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  void release() { path_.clear(); }

 private:
  fs::path path_;
};

fs::path freeName(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  fs::path candidate = dir / name;
  for (int i = 2; fs::exists(fs::symlink_status(candidate, ec)); ++i) candidate = dir / (name + "." + std::to_string(i));
  return candidate;
}

}  // namespace

std::string versionFolderName(const std::string& version) {
  if (version.empty() || version.size() > 64 || version.front() == '.') return "update";
  for (unsigned char c : version)
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_') return "update";
  return version;
}

std::size_t removeLeftoverUnpacks(const fs::path& versions) {
  std::error_code ec;
  std::vector<fs::path> leftovers;
  for (const auto& entry : fs::directory_iterator(versions, ec))
    if (entry.path().filename().string().starts_with(kUnpackPrefix)) leftovers.push_back(entry.path());
  std::size_t removed = 0;
  for (const auto& p : leftovers)
    if (fs::remove_all(p, ec) != static_cast<std::uintmax_t>(-1) && !ec) ++removed;
  return removed;
}

Result<fs::path> installBundle(const platform::InstallLayout& layout, const fs::path& bundle,
                               const std::string& version, const fs::path& keep) {
  std::error_code ec;
  fs::create_directories(layout.versions(), ec);
  if (ec) return fail("не удалось подготовить папку версий: " + ec.message());

  removeLeftoverUnpacks(layout.versions());
  std::random_device rd;
  const fs::path staging = layout.versions() / (kUnpackPrefix + std::to_string(rd()));
  if (!fs::create_directory(staging, ec) || ec)
    return fail("не удалось подготовить папку для распаковки: " + (ec ? ec.message() : utf8Text(staging)));
  TreeGuard stagingGuard(staging);

  auto top = unpackBundle(bundle, staging);
  if (!top) return fail(top.error());
  const fs::path unpacked = staging / *top;
  const fs::path program = unpacked / platform::programFileName("zorvik");
  const auto programStatus = fs::symlink_status(program, ec);
  if (ec || !fs::is_regular_file(programStatus) ||
      (programStatus.permissions() & fs::perms::owner_exec) == fs::perms::none)
    return fail("пакет обновления отклонен: в нем нет программы zorvik");

  const fs::path target = freeName(layout.versions(), versionFolderName(version));
  fs::rename(unpacked, target, ec);
  if (ec) return fail("не удалось перенести новую версию на место: " + ec.message());
  TreeGuard targetGuard(target);
  if (auto switched = platform::switchCurrentVersion(layout, target); !switched) return fail(switched.error());
  targetGuard.release();

  // Old versions go; the running one stays until it ends.
  for (const auto& entry : fs::directory_iterator(layout.versions(), ec)) {
    const fs::path p = entry.path();
    if (p == target || (!keep.empty() && fs::equivalent(p, keep, ec)) || p == staging) continue;
    fs::remove_all(p, ec);
  }
  return target;
}

}  // namespace zorvik::update
