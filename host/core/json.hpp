#pragma once

#include <nlohmann/json.hpp>

namespace zorvik {
// Objects keep their keys in the order they were written: results reach the
// page with their fields in the order each record lists them.
using Json = nlohmann::ordered_json;
}
