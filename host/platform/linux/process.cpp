// Starting helper programs (the signing tools) without a terminal window.
#include "platform/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "core/system_error.hpp"
#include "platform/linux/unique_fd.hpp"

extern char** environ;

namespace zorvik::platform {

namespace fs = std::filesystem;

// ---- OutputFile ---------------------------------------------------------------

struct OutputFile::Handle {
  UniqueFd fd;
};

OutputFile::OutputFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

Result<OutputFile> OutputFile::create(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return fail(errnoText(errno));
  auto handle = std::make_unique<Handle>();
  handle->fd.reset(fd);
  return OutputFile(std::move(handle));
}

Bytes OutputFile::readAll() const {
  Bytes bytes;
  if (!handle_) return bytes;
  std::uint8_t buf[65536];
  off_t offset = 0;
  for (;;) {
    ssize_t n = ::pread(handle_->fd.get(), buf, sizeof buf, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    if (n == 0) break;
    bytes.insert(bytes.end(), buf, buf + n);
    offset += n;
  }
  return bytes;
}

// ---- ChildProcess ---------------------------------------------------------------

namespace {

// posix_spawn's attribute and file-action objects, destroyed on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  bool actionsReady = false;
  bool attrReady = false;
  ~SpawnSetup() {
    if (actionsReady) posix_spawn_file_actions_destroy(&actions);
    if (attrReady) posix_spawnattr_destroy(&attr);
  }
};

int exitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

// Starts `program` with the three standard streams given as descriptors
// (-1: the null device). Returns the pid or an errno value.
std::expected<pid_t, int> spawnChild(const fs::path& program, const std::vector<std::string>& args,
                                     const fs::path& workingDir, int outFd, int errFd) {
  SpawnSetup s;
  if (int rc = posix_spawn_file_actions_init(&s.actions); rc != 0) return std::unexpected(rc);
  s.actionsReady = true;
  if (int rc = posix_spawnattr_init(&s.attr); rc != 0) return std::unexpected(rc);
  s.attrReady = true;

  int rc = posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
  if (rc == 0)
    rc = outFd >= 0 ? posix_spawn_file_actions_adddup2(&s.actions, outFd, 1)
                    : posix_spawn_file_actions_addopen(&s.actions, 1, "/dev/null", O_WRONLY, 0);
  if (rc == 0)
    rc = errFd >= 0 ? posix_spawn_file_actions_adddup2(&s.actions, errFd, 2)
                    : posix_spawn_file_actions_addopen(&s.actions, 2, "/dev/null", O_WRONLY, 0);
  if (rc == 0 && !workingDir.empty()) rc = posix_spawn_file_actions_addchdir_np(&s.actions, workingDir.c_str());
  if (rc != 0) return std::unexpected(rc);

  // Its own session: no controlling terminal, and one group to end as a whole.
  // Signals the host blocks or ignores are not passed on.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigfillset(&defaults);
  rc = posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (rc == 0) rc = posix_spawnattr_setsigmask(&s.attr, &none);
  if (rc == 0) rc = posix_spawnattr_setsigdefault(&s.attr, &defaults);
  if (rc != 0) return std::unexpected(rc);

  std::vector<std::string> argvText;
  argvText.reserve(args.size() + 1);
  argvText.push_back(program.string());
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  rc = posix_spawn(&pid, program.c_str(), &s.actions, &s.attr, argv.data(), environ);
  if (rc != 0) return std::unexpected(rc);
  return pid;
}

constexpr auto kPollStep = std::chrono::milliseconds(10);
// How long a killed child is given to disappear before it is left behind.
constexpr auto kReapLimit = std::chrono::seconds(5);

}  // namespace

Result<ChildProcess> ChildProcess::start(const StartOptions& options) {
  int outFd = options.stdoutFile && options.stdoutFile->handle_ ? options.stdoutFile->handle_->fd.get() : -1;
  int errFd = options.stderrFile && options.stderrFile->handle_ ? options.stderrFile->handle_->fd.get() : -1;
  auto pid = spawnChild(options.program, options.args, options.workingDir, outFd, errFd);
  if (!pid) return fail(errnoText(pid.error()));
  return ChildProcess(*pid);
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
  if (pid_ < 0 || exitCode_) return;
  (void)terminate();
  (void)waitFor(std::chrono::duration_cast<std::chrono::milliseconds>(kReapLimit));
}

Result<std::optional<int>> ChildProcess::poll() {
  if (exitCode_) return exitCode_;
  if (pid_ < 0) return fail(errnoText(ECHILD));
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return fail(errnoText(errno));
  if (got == 0) return std::optional<int>{};
  exitCode_ = exitCodeOf(status);
  return exitCode_;
}

Status ChildProcess::terminate() {
  if (exitCode_ || pid_ < 0) return {};
  // The child leads its own group (its own session); end the whole group so
  // nothing it started lives on.
  if (::kill(-static_cast<pid_t>(pid_), SIGKILL) == 0) return {};
  if (::kill(static_cast<pid_t>(pid_), SIGKILL) == 0) return {};
  // ESRCH: it has just ended and is waiting to be reaped.
  if (errno == ESRCH) return {};
  return fail(errnoText(errno));
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

// ---- runCaptured ------------------------------------------------------------------

Result<CapturedRun> runCaptured(const fs::path& program, const std::vector<std::string>& args) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return fail(errnoText(errno));
  UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return fail(errnoText(errno));
  UniqueFd errRead(errPipe[0]), errWrite(errPipe[1]);

  auto pid = spawnChild(program, args, {}, outWrite.get(), errWrite.get());
  if (!pid) return fail(errnoText(pid.error()));
  outWrite.reset();
  errWrite.reset();

  CapturedRun run;
  struct Stream {
    UniqueFd* fd;
    Bytes* bytes;
  } streams[2] = {{&outRead, &run.out}, {&errRead, &run.err}};
  std::uint8_t buf[65536];
  while (outRead || errRead) {
    pollfd fds[2];
    nfds_t n = 0;
    Stream* order[2];
    for (auto& s : streams) {
      if (!*s.fd) continue;
      fds[n] = {s.fd->get(), POLLIN, 0};
      order[n++] = &s;
    }
    if (::poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;  // cannot watch the pipes any more: keep what was read, still reap the child
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        order[i]->fd->reset();
        continue;
      }
      order[i]->bytes->insert(order[i]->bytes->end(), buf, buf + got);
    }
  }

  // Closed before the wait, so a child still writing gets an error instead of blocking.
  outRead.reset();
  errRead.reset();
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(*pid, &status, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return fail(errnoText(errno));
  run.exitCode = exitCodeOf(status);
  return run;
}

// ---- Names and folders --------------------------------------------------------------

long currentProcessId() { return static_cast<long>(::getpid()); }

std::string programFileName(std::string_view name) { return std::string(name); }

std::vector<fs::path> programSearchPath() {
  std::vector<fs::path> entries;
  const char* path = std::getenv("PATH");
  if (!path) return entries;
  std::string_view rest(path);
  for (;;) {
    auto colon = rest.find(':');
    auto entry = rest.substr(0, colon);
    // An empty entry would mean the current folder: never a place to pick a signing tool from.
    if (!entry.empty()) entries.emplace_back(entry);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return entries;
}

std::vector<fs::path> signingToolInstallFolders() {
  return {"/opt/cprocsp/bin/amd64", "/opt/cprocsp/sbin/amd64", "/opt/cprocsp/bin", "/opt/cprocsp/sbin"};
}

}  // namespace zorvik::platform
