// File operations whose safety depends on the operating system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zorvik::platform {

// The whole content of the regular file at `path`. nullopt only when nothing
// at all is there; anything else that cannot be read as a regular file (no
// permission, a dangling or looping symbolic link, a folder, a device, a read
// error) is an error with the system's text, so that the caller never takes
// an existing file for a missing one.
[[nodiscard]] Result<std::optional<std::string>> readExistingFile(const std::filesystem::path& path);

// Replaces `target` with `data` so that a reader sees the old or the new
// content, never a mix: a temporary file beside it is written, flushed to
// disk, then renamed over the target. `ownerOnly` makes the file mode 0600.
[[nodiscard]] Status writeFileAtomically(const std::filesystem::path& target, std::string_view data, bool ownerOnly);

// A finished file waiting under a hidden temporary name in its folder; it is
// removed unless placed. Placing is a rename in the same folder, so the target
// either gets the whole content or stays as it was.
class StagedFile {
 public:
  // Writes `data` to a new temporary file in `dir`, flushed to disk. The mode
  // is the usual one for a new file (0666 less the umask), or 0600.
  [[nodiscard]] static Result<StagedFile> write(const std::filesystem::path& dir, std::string_view data,
                                                bool ownerOnly);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();

  // Renames the file to `target` in the same folder. Without `replace` an
  // existing target is left alone and the answer is the error EEXIST
  // (`alreadyExists`). Either way the staged file is gone after success.
  [[nodiscard]] Status place(const std::filesystem::path& target, bool replace);

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  // The error text `place` answers when the target exists and `replace` is off.
  [[nodiscard]] static std::string alreadyExists();

 private:
  explicit StagedFile(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

// A file written only at its end, one piece at a time, each piece on the disk
// before `append` answers (a data sync: the file's data and size, not its
// other metadata). A crash may leave the last piece cut short, never an
// earlier one changed. Opening creates the file when it is missing; the data
// sync makes a new file's name durable only with its folder's, which the
// caller does once (by placing a first version with StagedFile or
// writeFileAtomically). Move-only; the file is closed when it goes.
class AppendOnlyFile {
 public:
  // `ownerOnly` makes a new file mode 0600.
  [[nodiscard]] static Result<AppendOnlyFile> open(const std::filesystem::path& path, bool ownerOnly);

  AppendOnlyFile() = default;
  AppendOnlyFile(AppendOnlyFile&& other) noexcept;
  AppendOnlyFile& operator=(AppendOnlyFile&& other) noexcept;
  AppendOnlyFile(const AppendOnlyFile&) = delete;
  AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;
  ~AppendOnlyFile();

  // Writes `data` at the end and syncs it. On failure the end of the file
  // may hold part of `data`: the caller reads a cut-short last piece as absent.
  [[nodiscard]] Status append(std::string_view data);
  [[nodiscard]] bool isOpen() const { return handle_ >= 0; }
  void close();

 private:
  explicit AppendOnlyFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = -1;  // the platform's handle
};

}  // namespace zorvik::platform
