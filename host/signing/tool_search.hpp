// Finding the signing tools: the user's folder override first, then the
// folders the tools are usually installed to and the program search path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::signing {

// The tool names, without any platform suffix.
inline constexpr std::string_view kCertmgr = "certmgr";
inline constexpr std::string_view kCryptcp = "cryptcp";
inline constexpr std::string_view kCsptest = "csptest";

// The folder override (set by set_crypto_dir): empty at start. Any thread.
void setFolderOverride(std::optional<std::filesystem::path> folder);
[[nodiscard]] std::optional<std::filesystem::path> folderOverride();

// The folders searched for an override folder D, in order.
[[nodiscard]] std::vector<std::filesystem::path> overrideFolders(const std::filesystem::path& folder);

// Sorted component by component, duplicates removed.
[[nodiscard]] std::vector<std::filesystem::path> sortedUnique(std::vector<std::filesystem::path> folders);

// The default folder list, computed by the first caller and then reused for
// the life of the process (later callers wait for the first).
[[nodiscard]] std::vector<std::filesystem::path> defaultFolders();
// Makes the next defaultFolders() compute the list again (tests change PATH).
void resetDefaultFolders();

// Override folders, then the default list.
[[nodiscard]] std::vector<std::filesystem::path> candidateFolders();

// The tool's file in the candidates, or in a folder one level below one of
// them (symbolic links to folders are not followed), or nothing.
[[nodiscard]] std::optional<std::filesystem::path> findToolIn(const std::vector<std::filesystem::path>& candidates,
                                                              std::string_view tool);
[[nodiscard]] std::optional<std::filesystem::path> findTool(std::string_view tool);

struct Signer {
  std::string_view tool;  // kCryptcp or kCsptest
  std::filesystem::path path;
};
// cryptcp when it is installed, else csptest, else nothing.
[[nodiscard]] std::optional<Signer> chooseSigner();

// A path as text, invalid characters replaced.
[[nodiscard]] std::string pathText(const std::filesystem::path& path);

}  // namespace zorvik::signing
