// The user's known folders. Looked up on every call; nothing is created.
#pragma once

#include <filesystem>

#include "core/result.hpp"

namespace zorvik::platform {

// Per-user local application data (the parent of <identifier>/logs).
[[nodiscard]] Result<std::filesystem::path> localDataDir();
// Per-user cache folder.
[[nodiscard]] Result<std::filesystem::path> cacheDir();
// Folder for per-session runtime files (sockets), private to the user.
[[nodiscard]] Result<std::filesystem::path> runtimeDir();
// Folder of the running executable.
[[nodiscard]] Result<std::filesystem::path> executableDir();
// The user's Downloads folder (the desktop's configured download folder, else
// ~/Downloads). Looked up on every call, never created, not checked to exist.
[[nodiscard]] Result<std::filesystem::path> downloadsDir();

}  // namespace zorvik::platform
