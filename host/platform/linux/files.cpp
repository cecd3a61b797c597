#include "platform/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/system_error.hpp"
#include "platform/linux/unique_fd.hpp"

namespace zorvik::platform {

Status writeFileAtomically(const std::filesystem::path& target, std::string_view data, bool ownerOnly) {
  const mode_t mode = ownerOnly ? 0600 : 0644;
  const std::filesystem::path temp = target.string() + ".tmp";
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!fd) return fail(errnoText(errno));
  // The file may have existed with other bits; umask may have narrowed them.
  if (::fchmod(fd.get(), mode) != 0) return fail(errnoText(errno));
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::unlink(temp.c_str());
      return fail(errnoText(err));
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail(errnoText(err));
  }
  fd.reset();
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail(errnoText(err));
  }
  // Make the rename itself durable.
  UniqueFd dir(::open(target.parent_path().empty() ? "." : target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
  return {};
}

}  // namespace zorvik::platform
