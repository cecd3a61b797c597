#include "platform/environment.hpp"

#include <cstdlib>

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

std::optional<std::string> environmentVariable(const std::string& name) {
  if (const wchar_t* value = ::_wgetenv(win32::wide(name).c_str())) return win32::utf8(value);
  return std::nullopt;
}

void setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) {
  // The C runtime's copy and the process's own (which children inherit) both change.
  ::_wputenv_s(win32::wide(name).c_str(), value ? win32::wide(*value).c_str() : L"");
  ::SetEnvironmentVariableW(win32::wide(name).c_str(), value ? win32::wide(*value).c_str() : nullptr);
}

}  // namespace zorvik::platform
