#include "platform/c_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/system_error.hpp"

namespace zorvik::platform {

CFile openFile(const std::filesystem::path& path, const char* mode) {
  // "e": close on exec; "x" already refuses a symbolic link at the name.
  const std::string withCloexec = std::string(mode) + "e";
  return CFile(std::fopen(path.c_str(), withCloexec.c_str()));
}

Status syncFile(std::FILE* file) {
  if (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0) return fail(errnoText(errno));
  return {};
}

}  // namespace zorvik::platform
