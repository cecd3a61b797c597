// The application log "startup.log": one line per call, opened, appended and
// closed each time, rotated once above 1,000,000 bytes. Takes no lock: any
// thread may write.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zorvik::log {

inline constexpr std::uintmax_t kRotateAbove = 1'000'000;

// Finds the log folder; fails with the OS's reason.
using FolderResolver = std::function<Result<std::filesystem::path>()>;

class AppLog {
 public:
  explicit AppLog(FolderResolver folder) : folder_(std::move(folder)) {}

  // Writes one line; the error is one of the log's own texts.
  [[nodiscard]] Status write(std::string_view message) const;
  // Full path of startup.log; creates nothing.
  [[nodiscard]] Result<std::filesystem::path> path() const;

 private:
  FolderResolver folder_;
};

// "YYYY-MM-DD hh:mm:ss" in UTC; a time before the epoch prints the epoch.
std::string utcStamp(std::chrono::system_clock::time_point t);

// Line feeds become spaces so every call yields exactly one line.
std::string oneLine(std::string_view message);

// The log folder of this user: <local data>/<identifier>/logs.
Result<std::filesystem::path> defaultLogFolder();

}  // namespace zorvik::log
