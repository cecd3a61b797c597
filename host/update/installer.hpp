// Installing a verified bundle into an installed copy: unpacked beside the
// running version, then switched in with one rename. Any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "core/result.hpp"
#include "platform/app_install.hpp"

namespace zorvik::update {

// The folder name for `version` in layout.versions(): the version when it is a
// plain name (letters, digits, ".", "-", "_"), else "update".
[[nodiscard]] std::string versionFolderName(const std::string& version);

// Removes the ".unpack-*" folders an install cut off by a kill or a power
// loss left in `versions`; answers how many went. Call only while no other
// install into the same copy runs.
std::size_t removeLeftoverUnpacks(const std::filesystem::path& versions);

// Unpacks `bundle` into a fresh folder beside the installed versions, checks
// that it holds the program, and makes it the current version. Any failure
// leaves the current version as it was and removes what was unpacked.
// Afterwards removes the versions other than the new one and `keep` (the
// running one). Leftovers of earlier installs are removed first: installs
// into one copy must not run at the same time. Answers the new version's folder.
[[nodiscard]] Result<std::filesystem::path> installBundle(const platform::InstallLayout& layout,
                                                          const std::filesystem::path& bundle,
                                                          const std::string& version,
                                                          const std::filesystem::path& keep = {});

}  // namespace zorvik::update
