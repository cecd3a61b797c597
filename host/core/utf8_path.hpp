// Text and paths. Shared code keeps names as UTF-8 text; a path is wide on
// some systems, so text becomes a path, and a path becomes text, only here
// (never through path(std::string) or .string(), which use the system's
// narrow code page there).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zorvik {

// The path named by the UTF-8 `text`.
[[nodiscard]] inline std::filesystem::path pathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The path as UTF-8 text.
[[nodiscard]] inline std::string utf8Text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace zorvik
