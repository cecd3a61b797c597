// Where an installed copy of the app lives and how a new version is switched in.
//
// An installed copy is <root>/versions/<name>/zorvik (with its library beside
// it) and <root>/current, which names the version that starts. Switching
// replaces <root>/current in one rename, so the app starts either the old
// version or the new one, never a half-written mixture. Any thread.
#pragma once

#include <filesystem>
#include <optional>

#include "core/result.hpp"

namespace zorvik::platform {

struct InstallLayout {
  std::filesystem::path root;
  [[nodiscard]] std::filesystem::path versions() const { return root / "versions"; }
  [[nodiscard]] std::filesystem::path current() const { return root / "current"; }
};

// The layout the executable at `exe` belongs to; nullopt when it does not run
// from an installed copy (a build folder, say).
[[nodiscard]] std::optional<InstallLayout> layoutOf(const std::filesystem::path& exe);

// The running executable's layout.
[[nodiscard]] std::optional<InstallLayout> runningLayout();

// Makes `versionDir` (inside layout.versions()) the version that starts.
[[nodiscard]] Status switchCurrentVersion(const InstallLayout& layout, const std::filesystem::path& versionDir);

// The version folder <root>/current names now.
[[nodiscard]] Result<std::filesystem::path> currentVersionDir(const InstallLayout& layout);

// The program a restart should start: the current version of an installed
// copy, else this very executable.
[[nodiscard]] std::filesystem::path restartProgram();

}  // namespace zorvik::platform
