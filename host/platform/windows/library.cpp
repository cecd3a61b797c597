#include "platform/library.hpp"

#include <fstream>
#include <utility>

#include "core/utf8_path.hpp"
#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace {

using K = LoadFailureKind;

LoadFailure make(K kind, const std::string& reason, DWORD code) {
  return {kind, reason + " (загрузчик Windows: " + win32::errorText(code) + ")"};
}

// The processor a PE file is built for, from its header; 0 when it is not one.
WORD peMachine(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  char dos[64] = {};
  if (!in.read(dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
  const auto peOffset = *reinterpret_cast<const std::uint32_t*>(dos + 0x3C);
  char pe[6] = {};
  if (!in.seekg(peOffset) || !in.read(pe, sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] || pe[3]) return 0;
  return static_cast<WORD>(static_cast<unsigned char>(pe[4]) | (static_cast<unsigned char>(pe[5]) << 8));
}

std::string machineName(WORD machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "x86";
    case IMAGE_FILE_MACHINE_AMD64: return "x86-64";
    case IMAGE_FILE_MACHINE_ARM64: return "ARM64";
    case IMAGE_FILE_MACHINE_ARMNT: return "ARM";
    default: return "код процессора " + std::to_string(machine);
  }
}

LoadFailure classify(const std::filesystem::path& path, DWORD code, bool oneFile) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
      return make(K::PermissionDenied, "Windows запретила загрузку: нет прав на чтение файла", code);
    case ERROR_MOD_NOT_FOUND:
      if (oneFile) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec))
          return make(K::DependencyMissing, "Windows не нашла библиотеку, от которой зависит этот файл", code);
      }
      return make(K::Unknown, "файла нет", code);
    case ERROR_BAD_EXE_FORMAT: {
      const WORD machine = oneFile ? peMachine(path) : 0;
      if (machine == 0)
        return make(K::NotALibrary, "файл не подходит этой системе: это не библиотека Windows", code);
      if (machine == IMAGE_FILE_MACHINE_I386)
        return make(K::OtherClass,
                    "файл собран для другой разрядности процессора: это 32-разрядная библиотека, а приложению "
                    "нужна 64-разрядная",
                    code);
      return make(K::OtherArchitecture,
                  "файл не подходит этой системе: он собран для процессора " + machineName(machine) +
                      ", а здесь x86-64",
                  code);
    }
    case ERROR_PROC_NOT_FOUND:
    case ERROR_DLL_INIT_FAILED:
      return make(K::StartFailed, "файл загрузился, но не смог запуститься", code);
    default:
      return make(K::Unknown, "причина не разобрана", code);
  }
}

// No "the program can't start" dialog while a library is tried.
struct QuietErrors {
  DWORD old = 0;
  QuietErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old); }
  ~QuietErrors() { ::SetThreadErrorMode(old, nullptr); }
};

}  // namespace

std::expected<Library, LoadFailure> Library::open(const std::filesystem::path& path) {
  QuietErrors quiet;
  // The file's own folder is searched for the libraries it needs.
  HMODULE handle = ::LoadLibraryExW(std::filesystem::absolute(path).c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (handle) return Library(handle);
  return std::unexpected(classify(path, ::GetLastError(), true));
}

std::expected<Library, LoadFailure> Library::openFromSystem(const std::string& fileName) {
  QuietErrors quiet;
  HMODULE handle = ::LoadLibraryW(win32::wide(fileName).c_str());
  if (handle) return Library(handle);
  return std::unexpected(classify(pathFromUtf8(fileName), ::GetLastError(), false));
}

Library::Library(Library&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Library::~Library() {
  if (handle_) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Library::symbol(const char* name) const {
  return handle_ ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

std::string libraryFileName(std::string_view stem) { return std::string(stem) + ".dll"; }

std::optional<SystemDescription> describeSystem() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!rtlGetVersion || rtlGetVersion(&info) != 0) return std::nullopt;
  wchar_t product[256] = L"";
  DWORD size = sizeof product;
  std::string name = "Windows";
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName",
                     RRF_RT_REG_SZ, nullptr, product, &size) == ERROR_SUCCESS && product[0])
    name = win32::utf8(product);
  SYSTEM_INFO si{};
  ::GetNativeSystemInfo(&si);
  const char* arch = si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? "x86_64" : "x86";
  const std::string version = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                              "." + std::to_string(info.dwBuildNumber);
  // Windows 10 is the oldest the product supports.
  return SystemDescription{name + ", версия " + version + ", " + arch, info.dwMajorVersion < 10};
}

}  // namespace zorvik::platform
