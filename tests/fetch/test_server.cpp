#include "test_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace zorvik::testing {

std::string fetchFixture(const std::string& name) { return std::string(ZORVIK_TEST_FIXTURES) + "/fetch/" + name; }

struct TestServer::Tls {
  SSL_CTX* ctx = nullptr;
  ~Tls() { SSL_CTX_free(ctx); }
};

namespace {

std::string reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 410: return "Gone";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

// One connection, plain or TLS.
class Conn {
 public:
  Conn(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  ~Conn() {
    if (ssl_) {
      SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
  }
  long read(char* buf, std::size_t n) {
    if (ssl_) return SSL_read(ssl_, buf, static_cast<int>(n));
    return ::recv(fd_, buf, n, 0);
  }
  bool write(const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
      long n = ssl_ ? SSL_write(ssl_, data.data() + done, static_cast<int>(data.size() - done))
                    : ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_;
};

}  // namespace

TestServer::TestServer(std::string address, bool tls, std::uint16_t port) : address_(std::move(address)) {
  // TLS writes to a client that went away must fail, not end the process.
  ::signal(SIGPIPE, SIG_IGN);
  if (tls) {
    tls_ = std::make_unique<Tls>();
    tls_->ctx = SSL_CTX_new(TLS_server_method());
    if (!tls_->ctx || SSL_CTX_use_certificate_chain_file(tls_->ctx, fetchFixture("server.pem").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_->ctx, fetchFixture("server.key").c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("test server: cannot load the TLS certificate");
  }
  bool v6 = address_.find(':') != std::string::npos;
  listenFd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss{};
  socklen_t len = 0;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    ::inet_pton(AF_INET6, address_.c_str(), &a->sin6_addr);
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    ::inet_pton(AF_INET, address_.c_str(), &a->sin_addr);
    len = sizeof *a;
  }
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(listenFd_, 64) != 0)
    throw std::runtime_error("test server: cannot listen on " + address_ + ": " + std::strerror(errno));
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len);
  port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  if (::pipe2(wakeFd_, O_CLOEXEC) != 0) throw std::runtime_error("test server: pipe");
  acceptor_ = std::thread([this] { acceptLoop(); });
}

TestServer::~TestServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : clientFds_) ::shutdown(fd, SHUT_RDWR);
  }
  stopped_.notify_all();
  (void)!::write(wakeFd_[1], "x", 1);
  acceptor_.join();
  for (auto& w : workers_) w.join();
  ::close(listenFd_);
  ::close(wakeFd_[0]);
  ::close(wakeFd_[1]);
}

std::string TestServer::base() const {
  std::string host = address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_;
  return std::string(tls_ ? "https" : "http") + "://" + host + ":" + std::to_string(port_);
}

void TestServer::route(const std::string& path, Canned response) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(response);
}

int TestServer::requestCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(seen_.size());
}

std::vector<SeenRequest> TestServer::requests() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void TestServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // Responses go out in several writes (TLS records): no waiting for delayed ACKs.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++connections_;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    clientFds_.push_back(fd);
    workers_.emplace_back([this, fd] { serve(fd); });
  }
}

void TestServer::serve(int fd) {
  SSL* ssl = nullptr;
  if (tls_) {
    ssl = SSL_new(tls_->ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
      SSL_free(ssl);
      ssl = nullptr;
      ::shutdown(fd, SHUT_RDWR);
      return;
    }
  }
  Conn conn(fd, ssl);
  std::string buffer;
  char chunk[16384];
  for (;;) {
    // One request head, then its body by Content-Length.
    std::size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      long n = conn.read(chunk, sizeof chunk);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
    SeenRequest req;
    std::string head = buffer.substr(0, end);
    buffer.erase(0, end + 4);
    std::size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    auto sp1 = requestLine.find(' ');
    auto sp2 = requestLine.find(' ', sp1 + 1);
    req.method = requestLine.substr(0, sp1);
    req.path = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
      std::size_t next = head.find("\r\n", pos);
      if (next == std::string::npos) next = head.size();
      std::string line = head.substr(pos, next - pos);
      auto colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        req.headers[name] = value;
      }
      pos = next + 2;
    }
    if (auto it = req.headers.find("content-length"); it != req.headers.end()) {
      std::size_t want = std::stoul(it->second);
      while (buffer.size() < want) {
        long n = conn.read(chunk, sizeof chunk);
        if (n <= 0) return;
        buffer.append(chunk, static_cast<std::size_t>(n));
      }
      req.body = buffer.substr(0, want);
      buffer.erase(0, want);
    }

    Canned response;
    bool known = false;
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(req);
      if (auto it = routes_.find(req.path.substr(0, req.path.find('?'))); it != routes_.end()) {
        response = it->second;
        known = true;
      }
    }
    if (!known) response = Canned{404, "not found", "text/plain"};
    if (response.echo) response.body = req.method + " " + req.body;

    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    if (response.endless) {
      out += "Connection: close\r\n\r\n";
      if (response.body.empty()) response.body = std::string(1 << 16, 'x');
      for (bool sent = conn.write(out); sent; sent = conn.write(response.body)) {
        std::lock_guard lock(mutex_);
        if (stopping_) break;
      }
      ::shutdown(fd, SHUT_RDWR);
      return;
    }
    std::size_t announced = response.body.size() + (response.truncate ? 1000 : 0);
    out += "Content-Length: " + std::to_string(announced) + "\r\n";
    if (!response.contentType.empty()) out += "Content-Type: " + response.contentType + "\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (response.hold) {
      // Head and a part of the body; the rest never comes.
      if (!conn.write(out) || !conn.write(response.body)) return;
      pollfd p{fd, POLLIN, 0};
      while (true) {
        {
          std::lock_guard lock(mutex_);
          if (stopping_) return;
        }
        if (::poll(&p, 1, 50) > 0) {
          if (conn.read(chunk, sizeof chunk) <= 0) {
            ++abandoned_;
            return;
          }
        }
      }
    }
    out += response.body;
    if (!conn.write(out)) return;
    if (response.truncate) {
      ::shutdown(fd, SHUT_RDWR);
      return;
    }
  }
}

}  // namespace zorvik::testing
