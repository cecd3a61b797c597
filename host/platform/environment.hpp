// This process's environment variables, as UTF-8 text.
#pragma once

#include <optional>
#include <string>

namespace zorvik::platform {

// The variable's value; nullopt when it is not set.
[[nodiscard]] std::optional<std::string> environmentVariable(const std::string& name);

// Sets (or, with nullopt, removes) the variable for this process and the
// children it starts from now on.
void setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value);

}  // namespace zorvik::platform
