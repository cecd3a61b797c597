#pragma once

#include <string>
#include <string_view>

namespace zorvik::bridge {

// The request header that carries the bridge key. A request made in
// "no-cors" mode cannot carry it, and a cross-origin request that asks for it
// needs the host's consent first, which only the app's own origin gets.
inline constexpr const char* kBridgeKeyHeader = "X-Zorvik-Bridge";

// A new random key for one run of the window: 32 bytes as hex.
[[nodiscard]] std::string newBridgeKey();

// The script injected at document start of the app's own top-level page: the
// global bridge object the page calls (`window.__ZORVIK__.invoke(name, args)`)
// and the desktop flag. Only this script holds `key`, in a closure no other
// script can read; the page's invoke sends it with every call.
std::string pageBridgeScript(std::string_view key);

// Constant-time comparison of a received key with the expected one.
[[nodiscard]] bool sameBridgeKey(std::string_view received, std::string_view expected);

}  // namespace zorvik::bridge
