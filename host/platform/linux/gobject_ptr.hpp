#pragma once

#include <glib-object.h>

#include <utility>

namespace zorvik::platform {

// Owns one reference to a GObject.
template <class T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  // Takes over a reference the caller owns.
  explicit GObjectPtr(T* p) : p_(p) {}
  static GObjectPtr ref(T* p) { return GObjectPtr(p ? static_cast<T*>(g_object_ref(p)) : nullptr); }
  GObjectPtr(GObjectPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;
  ~GObjectPtr() { reset(); }

  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) g_object_unref(p_);
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace zorvik::platform
