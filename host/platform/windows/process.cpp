// Starting helper programs (the signing tools) without a console window. Each
// child runs in a job object of its own, so ending it ends whatever it started.
#include "platform/process.hpp"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

// ---- OutputFile ---------------------------------------------------------------

struct OutputFile::Handle {
  win32::Handle file;
};

OutputFile::OutputFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

Result<OutputFile> OutputFile::create(const fs::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  // FILE_FLAG_OPEN_REPARSE_POINT: a link at the name is opened (and truncated)
  // itself, never followed.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(win32::lastErrorText());
  auto handle = std::make_unique<Handle>();
  handle->file.reset(h);
  return OutputFile(std::move(handle));
}

Bytes OutputFile::readAll() const {
  Bytes bytes;
  if (!handle_) return bytes;
  std::uint8_t buf[65536];
  OVERLAPPED at{};
  std::uint64_t offset = 0;
  for (;;) {
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!::ReadFile(handle_->file.get(), buf, sizeof buf, &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return {};
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buf, buf + n);
    offset += n;
  }
  return bytes;
}

// ---- ChildProcess ---------------------------------------------------------------

namespace {

// The handles of the running children, by process id: the process (kept open
// so the id is not reused while the child is ours) and its job.
struct ChildHandles {
  win32::Handle process;
  win32::Handle job;
};
std::mutex childrenMutex;
std::map<long, ChildHandles>& children() {
  static std::map<long, ChildHandles> map;
  return map;
}

// One argument quoted so that the child's CommandLineToArgvW gets it back whole.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (auto it = arg.begin();; ++it) {
    std::size_t backslashes = 0;
    while (it != arg.end() && *it == L'\\') {
      ++it;
      ++backslashes;
    }
    if (it == arg.end()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (*it == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    line += *it;
  }
  line += L'"';
}

bool isBatchFile(const fs::path& program) {
  std::wstring ext = program.extension().native();
  for (auto& c : ext) c = static_cast<wchar_t>(::towlower(c));
  return ext == L".cmd" || ext == L".bat";
}

struct Started {
  win32::Handle process;
  win32::Handle job;
  DWORD pid = 0;
};

Result<Started> spawnChild(const fs::path& program, const std::vector<std::string>& args, const fs::path& workingDir,
                           HANDLE out, HANDLE err) {
  std::wstring application = program.native();
  std::wstring line;
  appendQuoted(line, program.native());
  for (const auto& a : args) appendQuoted(line, win32::wide(a));
  if (isBatchFile(program)) {
    // A batch file runs in the command interpreter: /s keeps the quoted line as it is.
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    application = std::wstring(system, n) + L"\\cmd.exe";
    line = L"cmd.exe /d /s /c \"" + line + L"\"";
  }

  win32::Handle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  if (!nul) return fail(win32::lastErrorText());
  ::SetHandleInformation(nul.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  HANDLE stdOut = out ? out : nul.get();
  HANDLE stdErr = err ? err : nul.get();

  // Only these three handles reach the child.
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<std::byte> listMemory(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
  if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return fail(win32::lastErrorText());
  struct ListGuard {
    LPPROC_THREAD_ATTRIBUTE_LIST l;
    ~ListGuard() { ::DeleteProcThreadAttributeList(l); }
  } listGuard{list};
  std::vector<HANDLE> inherited{nul.get()};
  for (HANDLE h : {stdOut, stdErr})
    if (std::find(inherited.begin(), inherited.end(), h) == inherited.end()) inherited.push_back(h);
  if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                   inherited.size() * sizeof(HANDLE), nullptr, nullptr))
    return fail(win32::lastErrorText());

  STARTUPINFOEXW info{};
  info.StartupInfo.cb = sizeof info;
  info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  info.StartupInfo.hStdInput = nul.get();
  info.StartupInfo.hStdOutput = stdOut;
  info.StartupInfo.hStdError = stdErr;
  info.lpAttributeList = list;

  Started started;
  started.job.reset(::CreateJobObjectW(nullptr, nullptr));
  if (!started.job) return fail(win32::lastErrorText());
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(started.job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

  PROCESS_INFORMATION pi{};
  const std::wstring cwd = workingDir.native();
  if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                        nullptr, cwd.empty() ? nullptr : cwd.c_str(), &info.StartupInfo, &pi))
    return fail(win32::lastErrorText());
  started.process.reset(pi.hProcess);
  win32::Handle thread(pi.hThread);
  started.pid = pi.dwProcessId;
  // In the job before it runs a single instruction, so nothing it starts escapes.
  if (!::AssignProcessToJobObject(started.job.get(), pi.hProcess)) {
    const std::string text = win32::lastErrorText();
    ::TerminateProcess(pi.hProcess, 1);
    return fail(text);
  }
  ::ResumeThread(thread.get());
  return started;
}

constexpr auto kPollStep = std::chrono::milliseconds(10);
constexpr auto kReapLimit = std::chrono::seconds(5);

}  // namespace

Result<ChildProcess> ChildProcess::start(const StartOptions& options) {
  HANDLE out = options.stdoutFile && options.stdoutFile->handle_ ? options.stdoutFile->handle_->file.get() : nullptr;
  HANDLE err = options.stderrFile && options.stderrFile->handle_ ? options.stderrFile->handle_->file.get() : nullptr;
  auto started = spawnChild(options.program, options.args, options.workingDir, out, err);
  if (!started) return fail(started.error());
  const long pid = static_cast<long>(started->pid);
  std::lock_guard lock(childrenMutex);
  children()[pid] = ChildHandles{std::move(started->process), std::move(started->job)};
  return ChildProcess(pid);
}

ChildProcess::ChildProcess(ChildProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)), exitCode_(std::move(o.exitCode_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& o) noexcept {
  if (this != &o) {
    release();
    pid_ = std::exchange(o.pid_, -1);
    exitCode_ = std::move(o.exitCode_);
  }
  return *this;
}

ChildProcess::~ChildProcess() { release(); }

void ChildProcess::release() noexcept {
  if (pid_ < 0) return;
  if (!exitCode_) {
    (void)terminate();
    (void)waitFor(std::chrono::duration_cast<std::chrono::milliseconds>(kReapLimit));
  }
  std::lock_guard lock(childrenMutex);
  children().erase(pid_);  // closing the job ends anything still in it
}

Result<std::optional<int>> ChildProcess::poll() {
  if (exitCode_) return exitCode_;
  if (pid_ < 0) return fail(win32::errorText(ERROR_INVALID_HANDLE));
  HANDLE process = nullptr;
  {
    std::lock_guard lock(childrenMutex);
    auto it = children().find(pid_);
    if (it == children().end()) return fail(win32::errorText(ERROR_INVALID_HANDLE));
    process = it->second.process.get();
  }
  const DWORD state = ::WaitForSingleObject(process, 0);
  if (state == WAIT_TIMEOUT) return std::optional<int>{};
  if (state != WAIT_OBJECT_0) return fail(win32::lastErrorText());
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return fail(win32::lastErrorText());
  exitCode_ = static_cast<int>(code);
  return exitCode_;
}

Status ChildProcess::terminate() {
  if (exitCode_ || pid_ < 0) return {};
  std::lock_guard lock(childrenMutex);
  auto it = children().find(pid_);
  if (it == children().end()) return {};
  if (!::TerminateJobObject(it->second.job.get(), 1) && !::TerminateProcess(it->second.process.get(), 1)) {
    if (::WaitForSingleObject(it->second.process.get(), 0) == WAIT_OBJECT_0) return {};
    return fail(win32::lastErrorText());
  }
  return {};
}

bool ChildProcess::waitFor(std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    auto state = poll();
    if (!state || *state) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

Result<CapturedRun> runCaptured(const fs::path& program, const std::vector<std::string>& args) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  if (!::CreatePipe(&r, &w, &inherit, 0)) return fail(win32::lastErrorText());
  win32::Handle outRead(r), outWrite(w);
  if (!::CreatePipe(&r, &w, &inherit, 0)) return fail(win32::lastErrorText());
  win32::Handle errRead(r), errWrite(w);
  ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

  auto started = spawnChild(program, args, {}, outWrite.get(), errWrite.get());
  if (!started) return fail(started.error());
  outWrite.reset();
  errWrite.reset();

  // Each pipe drained on a thread of its own, so neither can fill up and stall the child.
  CapturedRun run;
  auto drain = [](HANDLE pipe, Bytes& into) {
    std::uint8_t buf[65536];
    DWORD n = 0;
    while (::ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0) into.insert(into.end(), buf, buf + n);
  };
  std::thread errThread(drain, errRead.get(), std::ref(run.err));
  drain(outRead.get(), run.out);
  errThread.join();

  ::WaitForSingleObject(started->process.get(), INFINITE);
  DWORD code = 0;
  if (!::GetExitCodeProcess(started->process.get(), &code)) return fail(win32::lastErrorText());
  run.exitCode = static_cast<int>(code);
  return run;
}

long currentProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

std::string programFileName(std::string_view name) {
  const fs::path asPath(win32::wide(name));
  if (asPath.has_extension()) return std::string(name);
  return std::string(name) + ".exe";
}

std::vector<fs::path> programSearchPath() {
  std::vector<fs::path> out;
  const DWORD n = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (n == 0) return out;
  std::wstring value(n, L'\0');
  value.resize(::GetEnvironmentVariableW(L"PATH", value.data(), n));
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(L';', start);
    if (end == std::wstring::npos) end = value.size();
    std::wstring entry = value.substr(start, end - start);
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') entry = entry.substr(1, entry.size() - 2);
    if (!entry.empty()) out.emplace_back(entry);
    start = end + 1;
  }
  return out;
}

std::vector<fs::path> signingToolInstallFolders() {
  std::vector<fs::path> out;
  for (REFKNOWNFOLDERID id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86}) {
    wchar_t* raw = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &raw)) && raw)
      out.push_back(fs::path(raw) / L"Crypto Pro" / L"CSP");
    ::CoTaskMemFree(raw);
  }
  return out;
}

}  // namespace zorvik::platform
