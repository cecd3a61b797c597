// Turns the raw JSON text of one call into its argument object, refusing
// what no page script produces and what would be unsafe to copy or print.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::bridge {

// Arrays and objects nested deeper than this are refused. Copying, comparing
// and printing a value recurse once per level, so without a limit a page
// could exhaust the stack of whichever thread handles the call.
inline constexpr std::size_t kMaxArgDepth = 256;

// Empty text reads as {}. Refuses text that is not JSON, nesting deeper than
// kMaxArgDepth and an object that names a key twice, before building anything.
[[nodiscard]] Result<Json> parseArgBody(std::string_view command, std::string_view body);

}  // namespace zorvik::bridge
