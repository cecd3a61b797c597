// Single instance over a Unix socket in the user's runtime folder, named by the
// application identifier. The second process connects, writes its launch as
// JSON and closes; the first accepts it from the GLib main loop.
#include "platform/single_instance.hpp"

#include <glib-unix.h>
#include <glib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/json.hpp"
#include "core/system_error.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/paths.hpp"

namespace zorvik::platform {

namespace {

constexpr std::size_t kMaxMessage = 1 << 20;

Result<sockaddr_un> socketAddress(std::string_view identifier) {
  auto dir = runtimeDir();
  if (!dir) return fail(dir.error());
  std::string path = (*dir / (std::string(identifier) + "-" + std::to_string(getuid()) + ".sock")).string();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return fail("socket path too long: " + path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return addr;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

class UnixSocketInstance final : public SingleInstance {
 public:
  UnixSocketInstance(UniqueFd listener, std::string path) : listener_(std::move(listener)), path_(std::move(path)) {}

  ~UnixSocketInstance() override {
    if (watch_) g_source_remove(watch_);
    ::unlink(path_.c_str());
  }

  void listen(std::function<void(Launch)> onLaunch) override {
    onLaunch_ = std::move(onLaunch);
    watch_ = g_unix_fd_add(listener_.get(), G_IO_IN, &UnixSocketInstance::onReadable, this);
  }

 private:
  static gboolean onReadable(gint, GIOCondition, gpointer self) {
    static_cast<UnixSocketInstance*>(self)->acceptOne();
    return G_SOURCE_CONTINUE;
  }

  void acceptOne() {
    UniqueFd conn(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!conn) return;
    // The sender writes a few bytes and closes; never let a stuck peer hang the window.
    timeval tv{1, 0};
    ::setsockopt(conn.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string message;
    char buf[4096];
    for (;;) {
      ssize_t n = ::recv(conn.get(), buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      message.append(buf, static_cast<std::size_t>(n));
      if (message.size() > kMaxMessage) return;
    }
    Launch launch;
    auto json = Json::parse(message, nullptr, false);
    if (json.is_object()) {
      if (auto a = json.find("args"); a != json.end() && a->is_array())
        for (const auto& s : *a)
          if (s.is_string()) launch.args.push_back(s.get<std::string>());
      if (auto c = json.find("cwd"); c != json.end() && c->is_string()) launch.cwd = c->get<std::string>();
    }
    if (onLaunch_) onLaunch_(std::move(launch));
  }

  UniqueFd listener_;
  std::string path_;
  guint watch_ = 0;
  std::function<void(Launch)> onLaunch_;
};

Status forward(int fd, const Launch& launch) {
  Json message = {{"args", launch.args}, {"cwd", launch.cwd}};
  if (!writeAll(fd, message.dump(-1, ' ', false, Json::error_handler_t::replace))) return fail(errnoText(errno));
  ::shutdown(fd, SHUT_WR);
  // Wait for the first process to read it all, so it is not lost when we exit.
  char c;
  timeval tv{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  while (::recv(fd, &c, 1, 0) > 0) {
  }
  return {};
}

}  // namespace

Result<InstanceClaim> claimInstance(std::string_view identifier, const Launch& launch) {
  auto addr = socketAddress(identifier);
  if (!addr) return fail(addr.error());

  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!client) return fail(errnoText(errno));
    if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) == 0) {
      if (auto sent = forward(client.get(), launch); !sent) return fail(sent.error());
      return InstanceClaim{nullptr, true};
    }
    // A socket file nobody listens on is the leftover of a process that died.
    if (errno == ECONNREFUSED) ::unlink(addr->sun_path);

    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener) return fail(errnoText(errno));
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) == 0) {
      ::chmod(addr->sun_path, 0600);
      if (::listen(listener.get(), 8) != 0) return fail(errnoText(errno));
      return InstanceClaim{std::make_unique<UnixSocketInstance>(std::move(listener), addr->sun_path), false};
    }
    // Another process bound it between our connect and bind: try it again.
    if (errno != EADDRINUSE) return fail(errnoText(errno));
  }
  return fail("the instance socket is busy");
}

}  // namespace zorvik::platform
