#include "platform/files.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <utility>

#include "core/system_error.hpp"
#include "platform/linux/unique_fd.hpp"

namespace zorvik::platform {

namespace fs = std::filesystem;

namespace {

Status writeOut(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errnoText(errno));
    done += static_cast<std::size_t>(n);
  }
  return {};
}

Status writeAll(int fd, std::string_view data) {
  if (auto written = writeOut(fd, data); !written) return written;
  if (::fsync(fd) != 0) return fail(errnoText(errno));
  return {};
}

// Makes a rename in `dir` durable.
void syncFolder(const fs::path& dir) {
  UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.get());
}

// A short name, so that the temporary file fits wherever its target does.
std::string stagingName() {
  static std::atomic<unsigned> counter{0};
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return ".zorvik-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(static_cast<unsigned long long>(now) % 1000000007ULL) + ".part";
}

}  // namespace

Result<std::optional<std::string>> readExistingFile(const fs::path& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0) {
    if (errno == ENOENT) return std::optional<std::string>{};
    return fail(errnoText(errno));
  }
  // O_NONBLOCK: a pipe planted at the path must not hang the reader.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return fail(errnoText(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fail(errnoText(errno));
  if (S_ISDIR(st.st_mode)) return fail(errnoText(EISDIR));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errnoText(errno));
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  return std::optional<std::string>{std::move(text)};
}

Result<StagedFile> StagedFile::write(const fs::path& dir, std::string_view data, bool ownerOnly) {
  for (int attempt = 0;; ++attempt) {
    fs::path path = dir / stagingName();
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, ownerOnly ? 0600 : 0666));
    if (!fd) {
      if (errno == EEXIST && attempt < 100) continue;
      return fail(errnoText(errno));
    }
    StagedFile staged(path);
    if (ownerOnly && ::fchmod(fd.get(), 0600) != 0) return fail(errnoText(errno));
    if (auto written = writeAll(fd.get(), data); !written) return fail(written.error());
    fd.reset();
    return staged;
  }
}

StagedFile::StagedFile(StagedFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

StagedFile::~StagedFile() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

std::string StagedFile::alreadyExists() { return errnoText(EEXIST); }

Status StagedFile::place(const fs::path& target, bool replace) {
  if (replace) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return fail(errnoText(errno));
  } else if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    // Never replaces, even a file that appeared a moment ago. A file system
    // without that kind of rename gets a hard link, and one without links a
    // check just before the rename.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return fail(errnoText(errno));
    if (::link(path_.c_str(), target.c_str()) == 0) {
      ::unlink(path_.c_str());
    } else {
      if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return fail(errnoText(errno));
      struct stat st {};
      if (::lstat(target.c_str(), &st) == 0) return fail(alreadyExists());
      if (::rename(path_.c_str(), target.c_str()) != 0) return fail(errnoText(errno));
    }
  }
  path_.clear();
  syncFolder(target.parent_path());
  return {};
}

Status writeFileAtomically(const fs::path& target, std::string_view data, bool ownerOnly) {
  const mode_t mode = ownerOnly ? 0600 : 0644;
  const fs::path temp = target.string() + ".tmp";
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!fd) return fail(errnoText(errno));
  // The file may have existed with other bits; umask may have narrowed them.
  if (::fchmod(fd.get(), mode) != 0) return fail(errnoText(errno));
  if (auto written = writeAll(fd.get(), data); !written) {
    ::unlink(temp.c_str());
    return written;
  }
  fd.reset();
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail(errnoText(err));
  }
  syncFolder(target.parent_path());
  return {};
}

Result<AppendOnlyFile> AppendOnlyFile::open(const fs::path& path, bool ownerOnly) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, ownerOnly ? 0600 : 0666);
  if (fd < 0) return fail(errnoText(errno));
  return AppendOnlyFile(fd);
}

AppendOnlyFile::AppendOnlyFile(AppendOnlyFile&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

AppendOnlyFile& AppendOnlyFile::operator=(AppendOnlyFile&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

AppendOnlyFile::~AppendOnlyFile() { close(); }

void AppendOnlyFile::close() {
  if (handle_ >= 0) ::close(static_cast<int>(std::exchange(handle_, -1)));
}

Status AppendOnlyFile::append(std::string_view data) {
  if (handle_ < 0) return fail(errnoText(EBADF));
  int fd = static_cast<int>(handle_);
  if (auto written = writeOut(fd, data); !written) return written;
  if (::fdatasync(fd) != 0) return fail(errnoText(errno));
  return {};
}

}  // namespace zorvik::platform
