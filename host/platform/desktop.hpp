// The user's desktop: default handlers, the file manager, the screen saver.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/result.hpp"

namespace zorvik::platform {

// Opens a URL (http, https, mailto, tel) with the desktop's default handler. Does not wait for it.
[[nodiscard]] Status openWithDefaultHandler(const std::string& uri);

// Shows a file selected in the file manager (or its folder when that is not possible).
[[nodiscard]] Status revealInFileManager(const std::filesystem::path& file);

// Keeps the screen on while asked to. Window thread only.
class ScreenKeeper {
 public:
  virtual ~ScreenKeeper() = default;
  virtual void keepOn(bool on) = 0;
};
std::unique_ptr<ScreenKeeper> makeScreenKeeper();

// Starts `program` (empty: this executable) with `args`, detached. Used by restart.
[[nodiscard]] Status relaunchSelf(const std::vector<std::string>& args, const std::filesystem::path& program = {});

}  // namespace zorvik::platform
