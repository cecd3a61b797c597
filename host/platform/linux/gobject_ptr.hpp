// Owners for what GLib hands out: GObject references, boxed and plain GLib
// values, and errors. Nothing under platform/linux frees these by hand.
#pragma once

#include <glib-object.h>

#include <memory>
#include <string>
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

// Owns one GLib value released by `Free` (g_free, g_bytes_unref, ...).
template <auto Free>
struct GFreeWith {
  template <class T>
  void operator()(T* p) const {
    if (p) Free(p);
  }
};
template <class T, auto Free>
using GOwned = std::unique_ptr<T, GFreeWith<Free>>;

using GCharPtr = GOwned<char, g_free>;
using GBytesPtr = GOwned<GBytes, g_bytes_unref>;
using GVariantPtr = GOwned<GVariant, g_variant_unref>;

// Takes the error a GLib call reports through its GError** argument.
class GErrorPtr {
 public:
  GErrorPtr() = default;
  GErrorPtr(const GErrorPtr&) = delete;
  GErrorPtr& operator=(const GErrorPtr&) = delete;
  ~GErrorPtr() {
    if (e_) g_error_free(e_);
  }
  GError** out() { return &e_; }
  explicit operator bool() const { return e_ != nullptr; }
  [[nodiscard]] std::string text() const { return e_ && e_->message ? e_->message : "unknown error"; }

 private:
  GError* e_ = nullptr;
};

}  // namespace zorvik::platform
