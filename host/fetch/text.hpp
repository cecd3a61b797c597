// Small text helpers of the fetch module.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.hpp"

namespace zorvik::fetch {

// Joins an error and its causes.
inline constexpr std::string_view kChainSeparator = " ← ";

[[nodiscard]] std::string joined(const std::vector<std::string>& parts, std::string_view separator);

// Standard Base64 with "=" padding.
[[nodiscard]] std::string base64(std::span<const std::uint8_t> data);

}  // namespace zorvik::fetch
