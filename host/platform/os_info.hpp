#pragma once

#include <string>

namespace zorvik::platform {

struct OsFacts {
  std::string osType;        // "linux", "windows"
  std::string platform;      // "linux", "windows"
  std::string family;        // "unix", "windows"
  std::string version;       // the system's version
  std::string arch;          // "x86_64", "aarch64"
  std::string exeExtension;  // "" or "exe"
  std::string eol;           // "\n" or "\r\n"
  std::string locale;        // BCP 47, e.g. "ru-RU"; empty when unknown
  std::string hostname;
};

OsFacts osFacts();

}  // namespace zorvik::platform
