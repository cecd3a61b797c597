// Delayed calls on the window's thread: a GLib timeout source on the default
// main context, removed when its handle goes first.
#include <glib.h>

#include "platform/window.hpp"

namespace zorvik::platform {

namespace {

class TimeoutCall final : public PendingCall {
 public:
  explicit TimeoutCall(std::function<void()> fn) : fn_(std::move(fn)) {}
  ~TimeoutCall() override {
    if (source_ != 0) g_source_remove(source_);
  }
  TimeoutCall(const TimeoutCall&) = delete;
  TimeoutCall& operator=(const TimeoutCall&) = delete;

  void start(std::chrono::milliseconds delay) {
    auto ms = delay.count() < 0 ? 0u : static_cast<guint>(delay.count());
    source_ = g_timeout_add(ms, &TimeoutCall::fire, this);
  }

 private:
  static gboolean fire(gpointer self) {
    auto* call = static_cast<TimeoutCall*>(self);
    // The source ends with this return: nothing to remove any more.
    call->source_ = 0;
    auto fn = std::move(call->fn_);
    fn();
    return G_SOURCE_REMOVE;
  }

  std::function<void()> fn_;
  guint source_ = 0;
};

}  // namespace

std::unique_ptr<PendingCall> runLaterOnWindowThread(std::chrono::milliseconds delay, std::function<void()> fn) {
  auto call = std::make_unique<TimeoutCall>(std::move(fn));
  call->start(delay);
  return call;
}

}  // namespace zorvik::platform
