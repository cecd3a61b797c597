#include "platform/os_info.hpp"

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace {

// The version Windows really runs: GetVersionEx answers what the manifest allows.
std::string windowsVersion() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!rtlGetVersion || rtlGetVersion(&info) != 0) return "";
  return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
         std::to_string(info.dwBuildNumber);
}

}  // namespace

OsFacts osFacts() {
  OsFacts f;
  f.osType = "windows";
  f.platform = "windows";
  f.family = "windows";
  f.exeExtension = "exe";
  f.eol = "\r\n";
  SYSTEM_INFO si{};
  ::GetNativeSystemInfo(&si);
  f.arch = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? "x86_64"
           : si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? "aarch64"
           : si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? "x86"
                                                                       : "";
  f.version = windowsVersion();
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = L"";
  if (::GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) > 0) f.locale = win32::utf8(locale);
  wchar_t host[MAX_COMPUTERNAME_LENGTH + 1] = L"";
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (::GetComputerNameW(host, &size)) f.hostname = win32::utf8(std::wstring_view(host, size));
  return f;
}

}  // namespace zorvik::platform
