// The renderer's transport: an unbounded request channel that any thread may
// send on, and a one-slot reply channel per request. Failures of the transport
// itself are the three "Рисовальщик …" texts.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "core/result.hpp"

namespace zorvik::printing {

inline constexpr const char* kRendererPoisoned = "Рисовальщик остановлен из-за ошибки";
inline constexpr const char* kRendererGone = "Рисовальщик не отвечает";
inline constexpr const char* kRendererNoAnswer = "Рисовальщик не ответил";

namespace detail {
template <class T>
struct ReplyState {
  std::mutex mutex;
  std::condition_variable ready;
  std::optional<T> value;
  bool senderGone = false;
};
}  // namespace detail

// The renderer's end of a reply. Dropping it unanswered tells the caller so.
template <class T>
class ReplySender {
 public:
  explicit ReplySender(std::shared_ptr<detail::ReplyState<T>> state) : state_(std::move(state)) {}
  ReplySender(ReplySender&&) noexcept = default;
  ReplySender& operator=(ReplySender&&) = delete;
  ~ReplySender() {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    state_->senderGone = true;
    state_->ready.notify_all();
  }
  void send(T value) {
    std::lock_guard lock(state_->mutex);
    state_->value.emplace(std::move(value));
    state_->ready.notify_all();
  }

 private:
  std::shared_ptr<detail::ReplyState<T>> state_;
};

// The caller's end: waits without a time limit.
template <class T>
class ReplyReceiver {
 public:
  explicit ReplyReceiver(std::shared_ptr<detail::ReplyState<T>> state) : state_(std::move(state)) {}
  // The answer, or "Рисовальщик не ответил" when the sender was dropped unanswered.
  Result<T> wait() {
    std::unique_lock lock(state_->mutex);
    state_->ready.wait(lock, [&] { return state_->value.has_value() || state_->senderGone; });
    if (!state_->value) return fail(kRendererNoAnswer);
    return std::move(*state_->value);
  }

 private:
  std::shared_ptr<detail::ReplyState<T>> state_;
};

template <class T>
std::pair<ReplySender<T>, ReplyReceiver<T>> makeReply() {
  auto state = std::make_shared<detail::ReplyState<T>>();
  return {ReplySender<T>(state), ReplyReceiver<T>(state)};
}

template <class Request>
class RequestChannel {
 public:
  // Any thread. The lock guards only the queue, never a wait for a reply.
  // `request` is moved from only when it was queued.
  Status send(Request&& request) {
    std::lock_guard lock(mutex_);
    if (poisoned_) return fail(kRendererPoisoned);
    if (receiverGone_) return fail(kRendererGone);
    try {
      queue_.push_back(std::move(request));
    } catch (...) {
      // The queue may be half-changed: nobody uses it again.
      poisoned_ = true;
      return fail(kRendererPoisoned);
    }
    arrived_.notify_one();
    return {};
  }

  // Any thread: false once the receiver has ended or the queue was poisoned;
  // every later send fails.
  bool usable() {
    std::lock_guard lock(mutex_);
    return !receiverGone_ && !poisoned_;
  }

  // Receiver thread: the next request in arrival order; nullopt once sending is closed and the queue is empty.
  std::optional<Request> receive() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [&] { return !queue_.empty() || sendersGone_; });
    std::optional<Request> request;
    if (!queue_.empty()) {
      request.emplace(std::move(queue_.front()));
      queue_.pop_front();
    }
    return request;
  }

  // No more requests will be sent; the receiver ends after the queued ones.
  void closeSending() {
    std::lock_guard lock(mutex_);
    sendersGone_ = true;
    arrived_.notify_all();
  }

  // The receiver has ended: queued requests are dropped unanswered and later sends fail.
  void closeReceiving() {
    std::deque<Request> dropped;
    {
      std::lock_guard lock(mutex_);
      receiverGone_ = true;
      dropped.swap(queue_);
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Request> queue_;
  bool sendersGone_ = false;
  bool receiverGone_ = false;
  bool poisoned_ = false;
};

}  // namespace zorvik::printing
