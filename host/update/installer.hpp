// Installing a verified bundle into an installed copy: unpacked beside the
// running version, then switched in with one rename. Any thread.
#pragma once

#include <filesystem>
#include <string>

#include "core/result.hpp"
#include "platform/app_install.hpp"

namespace zorvik::update {

// The folder name for `version` in layout.versions(): the version when it is a
// plain name (letters, digits, ".", "-", "_"), else "update".
[[nodiscard]] std::string versionFolderName(const std::string& version);

// Unpacks `bundle` into a fresh folder beside the installed versions, checks
// that it holds the program, and makes it the current version. Any failure
// leaves the current version as it was and removes what was unpacked.
// Afterwards removes the versions other than the new one and `keep` (the
// running one). Answers the new version's folder.
[[nodiscard]] Result<std::filesystem::path> installBundle(const platform::InstallLayout& layout,
                                                          const std::filesystem::path& bundle,
                                                          const std::string& version,
                                                          const std::filesystem::path& keep = {});

}  // namespace zorvik::update
