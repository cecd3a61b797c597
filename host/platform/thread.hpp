#pragma once

#include <cstddef>
#include <functional>

#include "core/result.hpp"

namespace zorvik::platform {

// Runs `fn` on a new thread with the given stack size and waits for it.
// Fails only when the thread cannot be created.
[[nodiscard]] Status runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& fn);

}  // namespace zorvik::platform
