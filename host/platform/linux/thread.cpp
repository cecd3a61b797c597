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

}  // namespace zorvik::platform
