// The page's http service (plugin:http|...): a request is created, sent (its
// head comes back), and its body read chunk by chunk, each step a separate
// call. Only URLs inside the configured scope are reached; redirects are not
// followed, so an answer can never come from outside it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/bytes.hpp"
#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::fetch {

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  Bytes body;
  std::optional<std::int64_t> connectTimeoutMs;
  std::optional<std::int64_t> timeoutMs;
};

class HttpService {
 public:
  // `scope`: URL patterns "scheme://host/*" or "scheme://host:*/*" (any port).
  HttpService(std::vector<std::string> scope, std::optional<std::string> caBundle);
  ~HttpService();
  HttpService(const HttpService&) = delete;
  HttpService& operator=(const HttpService&) = delete;

  // The refusal for a URL outside the scope.
  [[nodiscard]] Status checkScope(std::string_view url) const;

  // fetch: checks the request and keeps it under a new id; nothing is sent yet.
  [[nodiscard]] Result<std::uint32_t> open(HttpRequest request);
  // fetch_send: sends and waits for the response head:
  // {status, statusText, url, headers: [[name, value]...], rid}. The body is
  // read with the same id.
  [[nodiscard]] Result<Json> send(std::uint32_t rid);
  // fetch_read_body: the body received since the last call; empty at the end
  // of the body (the id is then released).
  [[nodiscard]] Result<Bytes> readBody(std::uint32_t rid);
  // fetch_cancel / fetch_cancel_body: stops the transfer and releases the id.
  // An unknown id is not an error: the request may have finished already.
  void cancel(std::uint32_t rid);

  // Requests still held (created, in flight, or with an unread body).
  [[nodiscard]] std::size_t openCount() const;

 private:
  struct Exchange;
  std::shared_ptr<Exchange> find(std::uint32_t rid) const;
  void release(std::uint32_t rid);

  struct Pattern {
    std::string scheme;
    std::string host;
    std::optional<int> port;  // none: any port
    bool defaultPort = false;
    std::string pathPrefix;
    bool pathWildcard = false;
  };
  std::vector<Pattern> scope_;
  std::optional<std::string> caBundle_;
  mutable std::mutex mutex_;
  std::map<std::uint32_t, std::shared_ptr<Exchange>> open_;
  std::uint32_t nextId_ = 1;
};

}  // namespace zorvik::fetch
