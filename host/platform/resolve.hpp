// Host name resolution through the operating system's resolver.
#pragma once

#include <string>
#include <vector>

#include "core/result.hpp"

namespace zorvik::platform {

// Every address of `host` for a stream connection, as numeric text ("::1",
// "127.0.0.1"), in the resolver's order without repeats. An IP literal
// resolves to itself. The error is the resolver's own text. Any thread.
[[nodiscard]] Result<std::vector<std::string>> resolveHost(const std::string& host);

}  // namespace zorvik::platform
