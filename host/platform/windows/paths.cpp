#include "platform/paths.hpp"

#include <windows.h>

#include <shlobj.h>

#include <memory>

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

namespace {

Result<fs::path> knownFolder(REFKNOWNFOLDERID id) {
  wchar_t* raw = nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &raw);
  std::unique_ptr<wchar_t, decltype(&::CoTaskMemFree)> owned(raw, &::CoTaskMemFree);
  if (FAILED(hr) || !raw) return fail(win32::errorText(static_cast<DWORD>(hr)));
  return fs::path(raw);
}

}  // namespace

Result<fs::path> localDataDir() { return knownFolder(FOLDERID_LocalAppData); }

// Caches live under the local application data too (not roamed).
Result<fs::path> cacheDir() { return knownFolder(FOLDERID_LocalAppData); }

Result<fs::path> runtimeDir() {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) return fail(ec.message());
  return dir;
}

Result<fs::path> executableDir() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return fail(win32::lastErrorText());
    if (n < buffer.size()) {
      buffer.resize(n);
      return fs::path(buffer).parent_path();
    }
    buffer.resize(buffer.size() * 2);
  }
}

Result<fs::path> downloadsDir() { return knownFolder(FOLDERID_Downloads); }

}  // namespace zorvik::platform
