// Small pieces every Windows backend file uses: UTF-8 <-> UTF-16 text,
// Windows' own error texts, and an owner for a kernel handle.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace zorvik::platform::win32 {

[[nodiscard]] std::wstring wide(std::string_view utf8);
[[nodiscard]] std::string utf8(std::wstring_view text);

// The system's text for a Windows error code (in the system's language).
[[nodiscard]] std::string errorText(DWORD code);
// The same for GetLastError().
[[nodiscard]] std::string lastErrorText();

// A kernel handle closed on every path. INVALID_HANDLE_VALUE and null both mean none.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.h_, nullptr));
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  void reset(HANDLE h = nullptr) {
    if (h_) ::CloseHandle(h_);
    h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }
  [[nodiscard]] HANDLE get() const { return h_; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace zorvik::platform::win32
