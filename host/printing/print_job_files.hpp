// The files of a print job: reading the source, and temporary files in the
// user's temporary folder that are created new (never through an existing
// file or link) and removed when their owner goes away.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "core/bytes.hpp"
#include "core/result.hpp"

namespace zorvik::printing {

// The whole file; the error is the system's text.
[[nodiscard]] Result<Bytes> readWholeFile(const std::filesystem::path& path);

// A file this job created; removed (errors ignored) when the owner goes away.
class TempFile {
 public:
  // Creates "<stem>.pdf" in the temporary folder with `data`. When a file of
  // that name already exists (another job of this process, or one left over)
  // "<stem>-2.pdf", "<stem>-3.pdf", ... is taken instead, so two jobs never
  // share a file. The error is the system's text.
  [[nodiscard]] static Result<TempFile> create(const std::string& stem, std::span<const std::uint8_t> data);

  TempFile(TempFile&& other) noexcept : path_(std::exchange(other.path_, std::nullopt)) {}
  TempFile& operator=(TempFile&&) = delete;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  [[nodiscard]] const std::filesystem::path& path() const { return *path_; }

 private:
  explicit TempFile(std::filesystem::path path) : path_(std::move(path)) {}
  std::optional<std::filesystem::path> path_;
};

}  // namespace zorvik::printing
