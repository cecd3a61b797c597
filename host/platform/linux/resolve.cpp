#include "platform/resolve.hpp"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "core/system_error.hpp"

namespace zorvik::platform {

Result<std::vector<std::string>> resolveHost(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &raw);
  if (rc == EAI_SYSTEM) return fail(errnoText(errno));
  if (rc != 0) return fail(::gai_strerror(rc));
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(raw, &::freeaddrinfo);

  std::vector<std::string> addresses;
  for (const addrinfo* ai = list.get(); ai; ai = ai->ai_next) {
    char text[NI_MAXHOST];
    if (::getnameinfo(ai->ai_addr, ai->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) continue;
    std::string address(text);
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
  }
  return addresses;
}

}  // namespace zorvik::platform
