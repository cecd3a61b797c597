#pragma once

#include <string>

namespace zorvik::bridge {

// The script injected at document start: the global bridge object the page
// calls (`window.__ZORVIK__.invoke(name, args)`) and the desktop flag.
std::string pageBridgeScript();

}  // namespace zorvik::bridge
