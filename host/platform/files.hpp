// File operations whose safety depends on the operating system.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/result.hpp"

namespace zorvik::platform {

// Replaces `target` with `data` so that a reader sees the old or the new
// content, never a mix: a temporary file beside it is written, flushed to
// disk, then renamed over the target. `ownerOnly` makes the file mode 0600.
[[nodiscard]] Status writeFileAtomically(const std::filesystem::path& target, std::string_view data, bool ownerOnly);

}  // namespace zorvik::platform
