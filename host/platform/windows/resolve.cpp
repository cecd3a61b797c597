#include "platform/resolve.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

Result<std::vector<std::string>> resolveHost(const std::string& host) {
  // Winsock counts its users: this start is matched by the cleanup below.
  WSADATA wsa;
  if (int rc = ::WSAStartup(MAKEWORD(2, 2), &wsa); rc != 0) return fail(win32::errorText(static_cast<DWORD>(rc)));
  struct Cleanup {
    ~Cleanup() { ::WSACleanup(); }
  } cleanup;

  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* raw = nullptr;
  if (int rc = ::GetAddrInfoW(win32::wide(host).c_str(), nullptr, &hints, &raw); rc != 0)
    return fail(win32::errorText(static_cast<DWORD>(rc)));
  std::unique_ptr<ADDRINFOW, decltype(&::FreeAddrInfoW)> list(raw, &::FreeAddrInfoW);

  std::vector<std::string> addresses;
  for (const ADDRINFOW* ai = list.get(); ai; ai = ai->ai_next) {
    wchar_t text[NI_MAXHOST];
    if (::GetNameInfoW(ai->ai_addr, static_cast<socklen_t>(ai->ai_addrlen), text, NI_MAXHOST, nullptr, 0,
                       NI_NUMERICHOST) != 0)
      continue;
    std::string address = win32::utf8(text);
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
  }
  return addresses;
}

}  // namespace zorvik::platform
