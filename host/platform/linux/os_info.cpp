#include "platform/os_info.hpp"

#include <sys/utsname.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>

namespace zorvik::platform {

namespace {

// "ru_RU.UTF-8" -> "ru-RU"; "C"/"POSIX" -> "".
std::string bcp47(std::string posix) {
  auto cut = posix.find_first_of(".@");
  if (cut != std::string::npos) posix.resize(cut);
  if (posix.empty() || posix == "C" || posix == "POSIX") return "";
  for (char& c : posix)
    if (c == '_') c = '-';
  return posix;
}

std::string osReleaseVersion() {
  std::ifstream in("/etc/os-release");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VERSION_ID=", 0) == 0) {
      std::string v = line.substr(11);
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return v;
    }
  }
  return "";
}

}  // namespace

OsFacts osFacts() {
  OsFacts f;
  f.osType = "linux";
  f.platform = "linux";
  f.family = "unix";
  f.exeExtension = "";
  f.eol = "\n";
  utsname u{};
  if (::uname(&u) == 0) f.arch = u.machine;
  f.version = osReleaseVersion();
  if (f.version.empty() && ::uname(&u) == 0) f.version = u.release;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* v = std::getenv(var); v && *v) {
      f.locale = bcp47(v);
      break;
    }
  }
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0) f.hostname = host;
  return f;
}

}  // namespace zorvik::platform
