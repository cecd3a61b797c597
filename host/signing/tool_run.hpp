// Running a signing tool and reading what it printed.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace zorvik::signing {

// How long a signing tool may run before it is ended. Far longer than a
// signature takes; a tool that runs this long is waiting for a password or a
// key carrier that will not come.
inline constexpr std::chrono::seconds kToolTimeLimit{20};
// How often the running tool is looked at.
inline constexpr std::chrono::milliseconds kToolPollInterval{50};

struct ToolOutput {
  int exitCode = 0;
  std::string out;  // decoded
  std::string err;  // decoded
  // stdout, a line break and stderr: what the failure reasons and the
  // diagnostic report read.
  [[nodiscard]] std::string combined() const { return out + "\n" + err; }
};

// Runs `tool` with its working folder and its output files cryptcp.out and
// cryptcp.err in `folder`, ending it after `limit`. The files are left in
// place. Errors are the user-facing texts.
[[nodiscard]] Result<ToolOutput> runToolLimited(const std::filesystem::path& tool,
                                                const std::vector<std::string>& args,
                                                const std::filesystem::path& folder,
                                                std::chrono::milliseconds limit = kToolTimeLimit);

// Runs `tool` in a new private temporary folder, removed afterwards, ending
// it after `limit`. `shownName` is the tool's name in the errors
// ("Не удалось запустить <shownName>: " and the system's text).
[[nodiscard]] Result<ToolOutput> runToolTimed(const std::filesystem::path& tool, const std::vector<std::string>& args,
                                              std::string_view shownName,
                                              std::chrono::milliseconds limit = kToolTimeLimit);

// A new folder of this process in the system's temporary folder, private to
// the user, removed with everything in it when the owner goes away.
class ToolFolder {
 public:
  // `prefix` starts the folder's name. The error is the user-facing text.
  [[nodiscard]] static Result<ToolFolder> create(std::string_view prefix);
  ToolFolder(ToolFolder&& other) noexcept;
  ToolFolder(const ToolFolder&) = delete;
  ToolFolder& operator=(const ToolFolder&) = delete;
  ToolFolder& operator=(ToolFolder&&) = delete;
  ~ToolFolder();
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  explicit ToolFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

// The system's temporary folder. The error is the system's text.
[[nodiscard]] Result<std::filesystem::path> systemTempFolder();

// The time-out message for a limit of `seconds`.
[[nodiscard]] std::string timeoutMessage(long long seconds);

}  // namespace zorvik::signing
