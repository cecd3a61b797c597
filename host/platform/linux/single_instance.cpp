// Single instance over a Unix socket in the user's runtime folder, named by the
// application identifier. The second process connects, writes its launch as
// JSON and waits for the first to acknowledge it; the first accepts it from the
// GLib main loop. A first process that is on its way out still has the socket
// but no loop to answer: the second waits for it to go and takes its place,
// so a launch is never handed to a window that is closing.
#include "platform/single_instance.hpp"

#include <glib-unix.h>
#include <glib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/json.hpp"
#include "core/system_error.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/paths.hpp"

namespace zorvik::platform {

namespace {

constexpr std::size_t kMaxMessage = 1 << 20;
// The byte the first process answers once it holds the launch.
constexpr char kAck = '1';
// How long a later launch keeps trying to reach a first process, or to see it go.
constexpr auto kClaimWindow = std::chrono::seconds(6);
constexpr auto kRetryPause = std::chrono::milliseconds(100);

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
    // The launch is ours now: the sender may end.
    (void)::send(conn.get(), &kAck, 1, MSG_NOSIGNAL);
    conn.reset();
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

// Hands the launch over; answers whether the first process acknowledged it.
Result<bool> forward(int fd, const Launch& launch) {
  Json message = {{"args", launch.args}, {"cwd", launch.cwd}};
  if (!writeAll(fd, message.dump(-1, ' ', false, Json::error_handler_t::replace))) return fail(errnoText(errno));
  ::shutdown(fd, SHUT_WR);
  char c = 0;
  timeval tv{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  for (;;) {
    ssize_t n = ::recv(fd, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    return n == 1 && c == kAck;
  }
}

}  // namespace

Result<InstanceClaim> claimInstance(std::string_view identifier, const Launch& launch) {
  auto addr = socketAddress(identifier);
  if (!addr) return fail(addr.error());

  const auto deadline = std::chrono::steady_clock::now() + kClaimWindow;
  std::string last = "the instance socket is busy";
  do {
    UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!client) return fail(errnoText(errno));
    if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) == 0) {
      auto acked = forward(client.get(), launch);
      if (!acked) return fail(acked.error());
      if (*acked) return InstanceClaim{nullptr, true};
      // Connected but not answered: the first process is closing (or stuck). Wait for it to go.
      last = "the running instance does not answer";
      std::this_thread::sleep_for(kRetryPause);
      continue;
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
    std::this_thread::sleep_for(kRetryPause);
  } while (std::chrono::steady_clock::now() < deadline);
  return fail(last);
}

}  // namespace zorvik::platform
