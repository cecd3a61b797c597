// Opening a file as a C stream by its path, whatever the system's path type.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/result.hpp"

namespace zorvik::platform {

struct CFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CFileClose>;

// std::fopen for a path: `mode` is "rb", "wb", "ab" or "wbx" (create, failing
// when anything, a symbolic link included, is at `path`). The stream is not
// inherited by child processes. Null with errno set on failure.
[[nodiscard]] CFile openFile(const std::filesystem::path& path, const char* mode);

// Flushes the stream and waits until its content is on the disk. The error is
// the system's text.
[[nodiscard]] Status syncFile(std::FILE* file);

}  // namespace zorvik::platform
