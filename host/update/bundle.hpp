// Unpacking an update bundle (a gzip-compressed tar archive) into a fresh
// folder. Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zorvik::update {

// The most a bundle may unpack to.
inline constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t{1} << 30;

// Why an entry name is refused, or empty when it stays inside the folder:
// absolute names and any ".." part are refused.
[[nodiscard]] std::string entryNameProblem(std::string_view name);
// The same for a symbolic link's target, seen from the link at `name`.
[[nodiscard]] std::string linkTargetProblem(std::string_view name, std::string_view target);

// Unpacks `archive` into `dir` (existing, empty). Every entry must lie in one
// top folder; an entry that would land outside `dir` (absolute name, "..",
// a hard link, a symbolic link leading out, a device or pipe) refuses the
// whole bundle. Answers the top folder's name. On failure `dir` may hold a
// part of the bundle: the caller removes it.
[[nodiscard]] Result<std::string> unpackBundle(const std::filesystem::path& archive, const std::filesystem::path& dir);

}  // namespace zorvik::update
