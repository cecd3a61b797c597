#include "platform/desktop.hpp"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include "core/utf8_path.hpp"
#include "platform/app_install.hpp"
#include "platform/process.hpp"
#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

Status openWithDefaultHandler(const std::string& uri) {
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(nullptr, L"open", win32::wide(uri).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  // ShellExecute answers a number above 32 on success, else an error code.
  if (result <= 32) return fail(win32::errorText(static_cast<DWORD>(result)));
  return {};
}

Status revealInFileManager(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return fail("Файл не найден: " + utf8Text(file));
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  PIDLIST_ABSOLUTE item = ::ILCreateFromPathW(fs::absolute(file).c_str());
  if (item) {
    const HRESULT hr = ::SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ::ILFree(item);
    if (SUCCEEDED(hr)) return {};
  }
  return openWithDefaultHandler(utf8Text(file.parent_path()));
}

namespace {

// Keeps the display on through the thread's execution state.
class ExecutionStateKeeper final : public ScreenKeeper {
 public:
  ~ExecutionStateKeeper() override { keepOn(false); }
  void keepOn(bool on) override {
    ::SetThreadExecutionState(on ? (ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
  }
};

}  // namespace

std::unique_ptr<ScreenKeeper> makeScreenKeeper() { return std::make_unique<ExecutionStateKeeper>(); }

Status relaunchSelf(const std::vector<std::string>& args, const fs::path& program) {
  const fs::path exe = program.empty() ? restartProgram() : program;
  std::wstring line = L"\"" + exe.native() + L"\"";
  for (const auto& a : args) {
    std::wstring arg = win32::wide(a);
    line += L" \"";
    for (wchar_t c : arg) {
      if (c == L'"') line += L'\\';
      line += c;
    }
    line += L"\"";
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP,
                        nullptr, nullptr, &si, &pi))
    return fail(win32::lastErrorText());
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return {};
}

}  // namespace zorvik::platform
