#include "platform/files.hpp"

#include <atomic>
#include <chrono>
#include <utility>

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

namespace {

Status writeAll(HANDLE file, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr)) return fail(win32::lastErrorText());
    done += written;
  }
  if (!::FlushFileBuffers(file)) return fail(win32::lastErrorText());
  return {};
}

// Long names: the \\?\ form lifts the 260-character limit of the plain one.
std::wstring longForm(const fs::path& path) {
  std::error_code ec;
  const fs::path full = path.is_absolute() ? path : fs::absolute(path, ec);
  std::wstring text = full.lexically_normal().native();
  for (auto& c : text)
    if (c == L'/') c = L'\\';
  if (text.starts_with(L"\\\\?\\")) return text;
  if (text.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + text.substr(2);
  return L"\\\\?\\" + text;
}

HANDLE createNew(const fs::path& path, DWORD disposition) {
  return ::CreateFileW(longForm(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

std::string stagingName() {
  static std::atomic<unsigned> counter{0};
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return ".zorvik-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(static_cast<unsigned long long>(now) % 1000000007ULL) + ".part";
}

}  // namespace

Result<std::optional<std::string>> readExistingFile(const fs::path& path) {
  const std::wstring name = longForm(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return std::optional<std::string>{};
    return fail(win32::errorText(err));
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(win32::errorText(ERROR_DIRECTORY));
  win32::Handle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return fail(win32::lastErrorText());
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return fail("not a regular file");
  std::string text;
  char buf[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) return fail(win32::lastErrorText());
    if (n == 0) break;
    text.append(buf, n);
  }
  return std::optional<std::string>{std::move(text)};
}

// `ownerOnly` needs nothing more here: a file under the user's profile is the
// user's alone unless its folder says otherwise.
Result<StagedFile> StagedFile::write(const fs::path& dir, std::string_view data, bool /*ownerOnly*/) {
  for (int attempt = 0;; ++attempt) {
    fs::path path = dir / stagingName();
    win32::Handle file(createNew(path, CREATE_NEW));
    if (!file) {
      if (::GetLastError() == ERROR_FILE_EXISTS && attempt < 100) continue;
      return fail(win32::lastErrorText());
    }
    ::SetFileAttributesW(longForm(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
    StagedFile staged(path);
    if (auto written = writeAll(file.get(), data); !written) return fail(written.error());
    return staged;
  }
}

StagedFile::StagedFile(StagedFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

StagedFile::~StagedFile() {
  if (!path_.empty()) ::DeleteFileW(longForm(path_).c_str());
}

std::string StagedFile::alreadyExists() { return win32::errorText(ERROR_ALREADY_EXISTS); }

Status StagedFile::place(const fs::path& target, bool replace) {
  const std::wstring from = longForm(path_);
  const std::wstring to = longForm(target);
  ::SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(from.c_str(), to.c_str(), (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    ::SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) return fail(alreadyExists());
    return fail(win32::errorText(err));
  }
  path_.clear();
  return {};
}

Status writeFileAtomically(const fs::path& target, std::string_view data, bool /*ownerOnly*/) {
  fs::path temp = target;
  temp += L".tmp";
  {
    win32::Handle file(createNew(temp, CREATE_ALWAYS));
    if (!file) return fail(win32::lastErrorText());
    if (auto written = writeAll(file.get(), data); !written) {
      file.reset();
      ::DeleteFileW(longForm(temp).c_str());
      return written;
    }
  }
  const std::wstring from = longForm(temp);
  const std::wstring to = longForm(target);
  // ReplaceFileW keeps the target's identity and attributes; a target that
  // is not there yet is a plain move.
  if (!::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) &&
      !::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileW(from.c_str());
    return fail(win32::errorText(err));
  }
  return {};
}

}  // namespace zorvik::platform
