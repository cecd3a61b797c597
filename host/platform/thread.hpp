#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "core/result.hpp"

namespace zorvik::platform {

// Runs `fn` on a new thread with the given stack size and waits for it.
// Fails only when the thread cannot be created.
[[nodiscard]] Status runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& fn);

// A long-lived thread with a name (as debuggers and `top -H` show it, at most
// 15 bytes) and its own stack size. Destroying the handle joins the thread.
class NamedThread {
 public:
  // Fails only when the thread cannot be created.
  [[nodiscard]] static Result<NamedThread> start(const std::string& name, std::size_t stackBytes,
                                                 std::function<void()> fn);
  NamedThread(NamedThread&& other) noexcept;
  NamedThread& operator=(NamedThread&&) = delete;
  NamedThread(const NamedThread&) = delete;
  ~NamedThread();

 private:
  NamedThread() = default;
  struct State;
  State* state_ = nullptr;
};

}  // namespace zorvik::platform
