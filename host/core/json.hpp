#pragma once

#include <nlohmann/json.hpp>

namespace zorvik {
using Json = nlohmann::json;
}
