// A small HTTP/1.1 server on a loopback address, plain or TLS, for the fetch
// tests and the fetch benchmark. Answers canned responses by path and counts
// what it saw.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvik::testing {

struct Canned {
  int status = 200;
  std::string body;
  std::string contentType = "application/pdf";  // "" sends no Content-Type
  std::vector<std::pair<std::string, std::string>> headers;
  // Announces more bytes than it sends, then closes: a body cut short.
  bool truncate = false;
  // Sends the head and the body, then keeps the connection open without
  // finishing until the client goes away or the server stops.
  bool hold = false;
  // Answers with the request's method and body.
  bool echo = false;
  // Sends the head without a length, then `body` again and again until the
  // client goes away or the server stops: a body that never ends.
  bool endless = false;
};

struct SeenRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class TestServer {
 public:
  // Listens on `address` ("127.0.0.1", "::1") at `port` (0: any free port).
  // With `tls`, serves the test certificate of tests/fixtures/fetch.
  explicit TestServer(std::string address = "127.0.0.1", bool tls = false, std::uint16_t port = 0);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] std::string base() const;  // "http(s)://<address>:<port>"
  void route(const std::string& path, Canned response);

  [[nodiscard]] int connections() const { return connections_; }
  [[nodiscard]] int requestCount() const;
  [[nodiscard]] std::vector<SeenRequest> requests() const;
  // Held responses whose client went away.
  [[nodiscard]] int abandoned() const { return abandoned_; }

 private:
  struct Tls;
  void acceptLoop();
  void serve(int fd);

  std::string address_;
  std::uint16_t port_ = 0;
  int listenFd_ = -1;
  int wakeFd_[2] = {-1, -1};
  std::unique_ptr<Tls> tls_;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::map<std::string, Canned> routes_;
  std::vector<SeenRequest> seen_;
  std::vector<int> clientFds_;
  std::vector<std::thread> workers_;
  std::atomic<int> connections_ = 0;
  std::atomic<int> abandoned_ = 0;
};

// Path of a file under tests/fixtures/fetch.
std::string fetchFixture(const std::string& name);

}  // namespace zorvik::testing
