// Single instance over a named pipe named by the application identifier and
// the user's session. The first process holds the pipe's first instance; a
// later launch connects, writes its launch as JSON and waits for the first to
// acknowledge it. The pipe is a kernel object: it goes with the process that
// made it, however that process ends, so a dead first instance never blocks a
// new one.
#include "platform/single_instance.hpp"

#include <atomic>
#include <thread>

#include "core/json.hpp"
#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace {

constexpr DWORD kMaxMessage = 1 << 20;
constexpr char kAck = '1';
constexpr auto kClaimWindow = std::chrono::seconds(6);
constexpr auto kRetryPause = std::chrono::milliseconds(100);
constexpr UINT kLaunchMessage = WM_APP + 1;

std::wstring pipeName(std::string_view identifier) {
  DWORD session = 0;
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  wchar_t user[256] = L"";
  DWORD userSize = 256;
  ::GetUserNameW(user, &userSize);
  return L"\\\\.\\pipe\\" + win32::wide(identifier) + L"-" + std::to_wstring(session) + L"-" + user;
}

Launch parseLaunch(const std::string& message) {
  Launch launch;
  auto json = Json::parse(message, nullptr, false);
  if (json.is_object()) {
    if (auto a = json.find("args"); a != json.end() && a->is_array())
      for (const auto& s : *a)
        if (s.is_string()) launch.args.push_back(s.get<std::string>());
    if (auto c = json.find("cwd"); c != json.end() && c->is_string()) launch.cwd = c->get<std::string>();
  }
  return launch;
}

// Launches are read on a thread of the instance's own and handed to the
// thread that called listen() through a message-only window, which the
// thread's message loop dispatches.
class PipeInstance final : public SingleInstance {
 public:
  PipeInstance(win32::Handle pipe, std::wstring name) : pipe_(std::move(pipe)), name_(std::move(name)) {}

  ~PipeInstance() override {
    stopping_ = true;
    // Wake the reader from ConnectNamedPipe with a connection of our own.
    win32::Handle wake(::CreateFileW(name_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (reader_.joinable()) reader_.join();
    if (window_) ::DestroyWindow(window_);
  }

  void listen(std::function<void(Launch)> onLaunch) override {
    onLaunch_ = std::move(onLaunch);
    static const wchar_t* kClass = L"ZorvikInstanceMessages";
    WNDCLASSW wc{};
    wc.lpfnWndProc = &PipeInstance::windowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    ::RegisterClassW(&wc);  // a second registration fails harmlessly
    window_ = ::CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    reader_ = std::thread([this] { readLaunches(); });
  }

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kLaunchMessage) {
      auto* self = reinterpret_cast<PipeInstance*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      std::unique_ptr<Launch> launch(reinterpret_cast<Launch*>(lp));
      if (self && self->onLaunch_) self->onLaunch_(std::move(*launch));
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }

  void readLaunches() {
    HANDLE pipe = pipe_.release();
    for (;;) {
      const BOOL connected = ::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
      if (stopping_) {
        ::CloseHandle(pipe);
        return;
      }
      if (connected) {
        std::string message;
        char buf[4096];
        for (;;) {
          DWORD n = 0;
          const BOOL ok = ::ReadFile(pipe, buf, sizeof buf, &n, nullptr);
          message.append(buf, n);
          if (ok || ::GetLastError() != ERROR_MORE_DATA || message.size() > kMaxMessage) break;
        }
        if (message.size() <= kMaxMessage) {
          // The launch is ours now: the sender may end.
          DWORD written = 0;
          ::WriteFile(pipe, &kAck, 1, &written, nullptr);
          ::FlushFileBuffers(pipe);
          auto* launch = new Launch(parseLaunch(message));
          if (!::PostMessageW(window_, kLaunchMessage, 0, reinterpret_cast<LPARAM>(launch))) delete launch;
        }
      }
      ::DisconnectNamedPipe(pipe);
    }
  }

  win32::Handle pipe_;
  std::wstring name_;
  HWND window_ = nullptr;
  std::thread reader_;
  std::atomic<bool> stopping_{false};
  std::function<void(Launch)> onLaunch_;
};

// Hands the launch over; answers whether the first process acknowledged it.
Result<bool> forward(HANDLE pipe, const Launch& launch) {
  Json message = {{"args", launch.args}, {"cwd", launch.cwd}};
  const std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
  DWORD mode = PIPE_READMODE_MESSAGE;
  ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  DWORD written = 0;
  if (!::WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    return fail(win32::lastErrorText());
  char c = 0;
  DWORD n = 0;
  if (!::ReadFile(pipe, &c, 1, &n, nullptr)) return false;
  return n == 1 && c == kAck;
}

}  // namespace

Result<InstanceClaim> claimInstance(std::string_view identifier, const Launch& launch) {
  const std::wstring name = pipeName(identifier);
  const auto deadline = std::chrono::steady_clock::now() + kClaimWindow;
  std::string last = "the instance pipe is busy";
  do {
    HANDLE pipe = ::CreateNamedPipeW(name.c_str(),
                                     PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                     1, 4096, kMaxMessage, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE)
      return InstanceClaim{std::make_unique<PipeInstance>(win32::Handle(pipe), name), false};
    const DWORD err = ::GetLastError();
    // Someone holds the first instance (Windows answers access denied, Wine pipe busy).
    if (err != ERROR_ACCESS_DENIED && err != ERROR_PIPE_BUSY) return fail(win32::errorText(err));

    win32::Handle client(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (client) {
      auto acked = forward(client.get(), launch);
      if (!acked) return fail(acked.error());
      if (*acked) return InstanceClaim{nullptr, true};
      last = "the running instance does not answer";
    } else if (::GetLastError() == ERROR_PIPE_BUSY) {
      ::WaitNamedPipeW(name.c_str(), static_cast<DWORD>(kRetryPause.count()));
      continue;
    }
    std::this_thread::sleep_for(kRetryPause);
  } while (std::chrono::steady_clock::now() < deadline);
  return fail(last);
}

}  // namespace zorvik::platform
