// Files the UI hands to the user: always inside the Downloads folder, under a
// cleaned name that clashes with nothing already there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "core/result.hpp"
#include "fetch/fetcher.hpp"

namespace zorvik::fetch {

// Letters and digits (Unicode), space, "-", "." and "_" stay; everything else
// becomes "_"; spaces and dots are trimmed from both ends; nothing left: "file.pdf".
// A name longer than 255 bytes is shortened before its extension.
[[nodiscard]] std::string cleanFileName(std::string_view name);

// `cleaned` in `dir` if free, else "stem (i).ext" for i = 2..999 (the stem
// shortened to keep the name within 255 bytes), else `cleaned`.
// Any entry counts as taken, a symbolic link (even a dangling one) included.
[[nodiscard]] std::filesystem::path chooseFreePath(const std::filesystem::path& dir, const std::string& cleaned);

// The Downloads folder, looked up now; it must exist as a folder.
[[nodiscard]] Result<std::filesystem::path> findDownloadsDir();
// The same, created first when nothing is at its place yet (where files are saved).
[[nodiscard]] Result<std::filesystem::path> ensureDownloadsDir();

// save_download: writes `data` under the cleaned `name` in `dir`. The file
// appears whole or not at all; a replaced file stays as it was on failure.
[[nodiscard]] Result<std::filesystem::path> saveBytes(const std::filesystem::path& dir, std::string_view name,
                                                      std::span<const std::uint8_t> data);

// save_url_download: streams the body of `url` into a new file; the folder is
// looked up by `findDir` only once the server has answered 2xx.
using DirLookup = std::function<Result<std::filesystem::path>()>;
[[nodiscard]] Result<std::filesystem::path> saveFromUrl(Fetcher& fetcher, std::string_view url, std::string_view name,
                                                        const DirLookup& findDir);

// file_exists: true only for an existing path inside `dir` (compared component
// by component) without ".." and without a symbolic link leading out of it.
[[nodiscard]] bool existsInside(const std::filesystem::path& dir, std::string_view path);

// A path as UTF-8 text for the page; invalid bytes become U+FFFD.
[[nodiscard]] std::string pathText(const std::filesystem::path& path);

}  // namespace zorvik::fetch
