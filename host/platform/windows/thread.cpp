#include "platform/thread.hpp"

#include <process.h>

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace {

unsigned __stdcall runFunction(void* p) {
  (*static_cast<const std::function<void()>*>(p))();
  return 0;
}

HANDLE startThread(std::size_t stackBytes, unsigned(__stdcall* entry)(void*), void* arg) {
  // _beginthreadex, not CreateThread: the C runtime sets itself up for the thread.
  return reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, static_cast<unsigned>(stackBytes), entry, arg, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
}

// Debuggers show the name. SetThreadDescription came with Windows 10 1607 and
// is missing from the MinGW headers here, so it is looked up.
void nameThisThread(const std::wstring& name) {
  using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set = reinterpret_cast<SetThreadDescriptionFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set) set(::GetCurrentThread(), name.c_str());
}

}  // namespace

Status runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& fn) {
  win32::Handle thread(startThread(stackBytes, runFunction, const_cast<std::function<void()>*>(&fn)));
  if (!thread) return fail(win32::lastErrorText());
  ::WaitForSingleObject(thread.get(), INFINITE);
  return {};
}

struct NamedThread::State {
  win32::Handle thread;
  std::wstring name;
  std::function<void()> fn;
};

Result<NamedThread> NamedThread::start(const std::string& name, std::size_t stackBytes, std::function<void()> fn) {
  auto* state = new State{{}, win32::wide(name.substr(0, 15)), std::move(fn)};
  auto entry = [](void* p) -> unsigned {
    auto* s = static_cast<State*>(p);
    nameThisThread(s->name);
    s->fn();
    return 0;
  };
  HANDLE h = startThread(stackBytes, entry, state);
  if (!h) {
    delete state;
    return fail(win32::lastErrorText());
  }
  state->thread.reset(h);
  NamedThread handle;
  handle.state_ = state;
  return handle;
}

NamedThread::NamedThread(NamedThread&& other) noexcept : state_(other.state_) { other.state_ = nullptr; }

NamedThread::~NamedThread() {
  if (!state_) return;
  ::WaitForSingleObject(state_->thread.get(), INFINITE);
  delete state_;
}

}  // namespace zorvik::platform
