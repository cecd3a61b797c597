#pragma once

#include <cstdint>
#include <vector>

namespace zorvik {
using Bytes = std::vector<std::uint8_t>;
}
