#include "platform/environment.hpp"

#include <cstdlib>

namespace zorvik::platform {

std::optional<std::string> environmentVariable(const std::string& name) {
  if (const char* value = std::getenv(name.c_str())) return std::string(value);
  return std::nullopt;
}

void setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  if (value) ::setenv(name.c_str(), value->c_str(), 1);
  else ::unsetenv(name.c_str());
}

}  // namespace zorvik::platform
