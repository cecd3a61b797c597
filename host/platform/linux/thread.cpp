#include "platform/thread.hpp"

#include <pthread.h>

#include "core/system_error.hpp"

namespace zorvik::platform {

Status runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& fn) {
  pthread_attr_t attr;
  if (int rc = pthread_attr_init(&attr); rc != 0) return fail(errnoText(rc));
  struct AttrGuard {
    pthread_attr_t* a;
    ~AttrGuard() { pthread_attr_destroy(a); }
  } guard{&attr};
  if (int rc = pthread_attr_setstacksize(&attr, stackBytes); rc != 0) return fail(errnoText(rc));
  pthread_t thread;
  auto trampoline = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  if (int rc = pthread_create(&thread, &attr, trampoline, const_cast<std::function<void()>*>(&fn)); rc != 0)
    return fail(errnoText(rc));
  pthread_join(thread, nullptr);
  return {};
}

struct NamedThread::State {
  pthread_t thread{};
  std::string name;
  std::function<void()> fn;
};

Result<NamedThread> NamedThread::start(const std::string& name, std::size_t stackBytes, std::function<void()> fn) {
  pthread_attr_t attr;
  if (int rc = pthread_attr_init(&attr); rc != 0) return fail(errnoText(rc));
  struct AttrGuard {
    pthread_attr_t* a;
    ~AttrGuard() { pthread_attr_destroy(a); }
  } guard{&attr};
  if (int rc = pthread_attr_setstacksize(&attr, stackBytes); rc != 0) return fail(errnoText(rc));
  auto* state = new State{{}, name.substr(0, 15), std::move(fn)};
  auto trampoline = [](void* p) -> void* {
    auto* s = static_cast<State*>(p);
    pthread_setname_np(pthread_self(), s->name.c_str());
    s->fn();
    return nullptr;
  };
  if (int rc = pthread_create(&state->thread, &attr, trampoline, state); rc != 0) {
    delete state;
    return fail(errnoText(rc));
  }
  NamedThread handle;
  handle.state_ = state;
  return handle;
}

NamedThread::NamedThread(NamedThread&& other) noexcept : state_(other.state_) { other.state_ = nullptr; }

NamedThread::~NamedThread() {
  if (!state_) return;
  pthread_join(state_->thread, nullptr);
  delete state_;
}

}  // namespace zorvik::platform
