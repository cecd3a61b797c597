// GET requests to the maker's hosts: allow-list, own name resolution, every
// address tried in turn (the last one that answered first), and one cached
// client per (host, address, whole-request time-out).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "core/bytes.hpp"
#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::fetch {

// Every address of a host name, as numeric text; the error is the resolver's text.
using Resolver = std::function<Result<std::vector<std::string>>(const std::string& host)>;

// The operating system's resolver.
[[nodiscard]] Resolver systemResolver();

struct FetcherOptions {
  std::vector<std::string> allowedHosts;
  Resolver resolver;
  // PEM file of the only authorities trusted; none: the system's trust store.
  std::optional<std::string> caBundle;
};

// The head of the response that answered.
struct ResponseHead {
  long status = 0;
  std::string contentType;  // "" when missing or not plain visible text
  std::string via;          // "{host} → {ip}:{port}, попытка {n}"
  std::optional<std::uint64_t> contentLength;  // the announced body length, when there is one
};

// Where a response goes. Either callback may refuse with the caller's own
// message; the transfer then stops and the fetch fails with that message.
struct ResponseSink {
  std::function<Status(const ResponseHead&)> onHead;
  std::function<Status(std::span<const std::uint8_t>)> onChunk;
};

// `LabelFetchResult`.
struct LabelFetchResult {
  Bytes body;
  ResponseHead head;
};

[[nodiscard]] Json toJson(const LabelFetchResult& result);

inline constexpr std::chrono::seconds kLabelTimeout{30};
inline constexpr std::chrono::seconds kDownloadTimeout{1800};
inline constexpr std::chrono::seconds kConnectTimeout{10};
inline constexpr std::chrono::seconds kKeepAlive{30};
// The largest body `fetch` keeps in memory (labels are a few hundred KiB).
inline constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

// The error of a body over kMaxBodyBytes.
[[nodiscard]] std::string bodyTooLarge();

class Fetcher {
 public:
  explicit Fetcher(FetcherOptions options);
  ~Fetcher();
  Fetcher(const Fetcher&) = delete;
  Fetcher& operator=(const Fetcher&) = delete;

  // GET `url` and stream the response into `sink`. Any thread; any number at once.
  [[nodiscard]] Result<ResponseHead> get(std::string_view url, std::chrono::seconds timeout, const ResponseSink& sink);

  // The whole body in memory (fetch_label, fetch_url), at most kMaxBodyBytes.
  [[nodiscard]] Result<LabelFetchResult> fetch(std::string_view url, std::chrono::seconds timeout = kLabelTimeout);

  [[nodiscard]] const std::vector<std::string>& allowedHosts() const { return options_.allowedHosts; }

  // How many clients were built so far (each is kept until the process ends).
  [[nodiscard]] std::size_t clientCount() const;

 private:
  class Client;
  using ClientKey = std::tuple<std::string, std::string, long long>;

  Result<Client*> clientFor(const std::string& host, const std::string& address, std::chrono::seconds timeout);
  std::vector<std::string> lastFirst(const std::string& host, std::vector<std::string> addresses) const;
  void rememberAddress(const std::string& host, const std::string& address);

  FetcherOptions options_;
  mutable std::mutex clientsMutex_;
  std::map<ClientKey, std::unique_ptr<Client>> clients_;
  mutable std::mutex lastMutex_;
  std::map<std::string, std::string> lastAddress_;
};

}  // namespace zorvik::fetch
