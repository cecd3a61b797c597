#include "platform/c_file.hpp"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "core/system_error.hpp"
#include "platform/windows/win32.hpp"

namespace zorvik::platform {

CFile openFile(const std::filesystem::path& path, const char* mode) {
  const std::string m(mode);
  if (m.find('x') != std::string::npos) {
    // The C runtime here has no "x": an exclusive create of the file itself
    // (CREATE_NEW fails on any name that exists, a link included).
    const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = ::_fdopen(fd, "wb");
    if (!file) ::_close(fd);
    return CFile(file);
  }
  // "N": not inherited by child processes.
  const std::wstring wideMode = win32::wide(m + "N");
  return CFile(::_wfopen(path.c_str(), wideMode.c_str()));
}

Status syncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return fail(errnoText(errno));
  auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  if (!::FlushFileBuffers(handle)) return fail(win32::lastErrorText());
  return {};
}

}  // namespace zorvik::platform
