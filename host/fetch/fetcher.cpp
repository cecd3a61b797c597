#include "fetch/fetcher.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "app/config.hpp"
#include "core/text.hpp"
#include "fetch/curl_handles.hpp"
#include "fetch/text.hpp"
#include "fetch/url.hpp"
#include "platform/resolve.hpp"

namespace zorvik::fetch {

Resolver systemResolver() {
  return [](const std::string& host) { return platform::resolveHost(host); };
}

Json toJson(const LabelFetchResult& result) {
  return Json{{"bytes", base64(result.body)},
              {"status", result.head.status},
              {"contentType", result.head.contentType},
              {"via", result.head.via}};
}

// ---- One client: the settings of every request, pooled easy handles --------

// A ready HTTP client for one (host, address, time-out). Its easy handles keep
// their connections open between requests and share TLS sessions, so a later
// fetch skips the connect and the full handshake.
class Fetcher::Client {
 public:
  // Builds the settings only: no network I/O.
  static Result<std::unique_ptr<Client>> build(const FetcherOptions& options, std::chrono::seconds timeout) {
    auto client = std::unique_ptr<Client>(new Client());
    client->share_.reset(curl_share_init());
    if (!client->share_) return fail("curl_share_init failed");
    curl_share_setopt(client->share_.get(), CURLSHOPT_LOCKFUNC, &Client::lock);
    curl_share_setopt(client->share_.get(), CURLSHOPT_UNLOCKFUNC, &Client::unlock);
    curl_share_setopt(client->share_.get(), CURLSHOPT_USERDATA, client.get());
    if (auto rc = curl_share_setopt(client->share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        rc != CURLSHE_OK)
      return fail(curl_share_strerror(rc));

    client->template_.reset(curl_easy_init());
    CURL* h = client->template_.get();
    if (!h) return fail("curl_easy_init failed");
    std::string userAgent = std::string("zorvik-mobile/") + app::version();
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
      if (rc == CURLE_OK) rc = curl_easy_setopt(h, option, value);
    };
    set(CURLOPT_USERAGENT, userAgent.c_str());
    set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(kConnectTimeout.count()));
    set(CURLOPT_TIMEOUT, static_cast<long>(timeout.count()));
    set(CURLOPT_TCP_KEEPALIVE, 1L);
    set(CURLOPT_TCP_KEEPIDLE, static_cast<long>(kKeepAlive.count()));
    set(CURLOPT_TCP_KEEPINTVL, static_cast<long>(kKeepAlive.count()));
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect could lead off the allow-list: the 3xx answer is the result.
    set(CURLOPT_FOLLOWLOCATION, 0L);
    // The connection goes to the pinned address; a proxy would resolve the name itself.
    set(CURLOPT_PROXY, "");
    set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (options.caBundle) {
      set(CURLOPT_CAINFO, options.caBundle->c_str());
      set(CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
    set(CURLOPT_SHARE, client->share_.get());
    if (rc != CURLE_OK) return fail(curl_easy_strerror(rc));
    return client;
  }

  ~Client() {
    // Easy handles go before the share they use.
    idle_.clear();
    template_.reset();
  }

  // A handle for one request, back to the pool when the lease ends.
  class Lease {
   public:
    Lease(Client& client, CurlEasy handle) : client_(&client), handle_(std::move(handle)) {}
    Lease(Lease&&) = default;
    ~Lease() {
      if (handle_) client_->giveBack(std::move(handle_));
    }
    CURL* get() const { return handle_.get(); }

   private:
    Client* client_;
    CurlEasy handle_;
  };

  Result<Lease> lease() {
    {
      std::lock_guard lock(poolMutex_);
      if (!idle_.empty()) {
        CurlEasy h = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(h));
      }
    }
    CurlEasy fresh(curl_easy_duphandle(template_.get()));
    if (!fresh) return fail("curl_easy_duphandle failed");
    return Lease(*this, std::move(fresh));
  }

 private:
  Client() = default;

  void giveBack(CurlEasy handle) {
    // Per-request pointers must not outlive the request.
    curl_easy_setopt(handle.get(), CURLOPT_CURLU, static_cast<CURLU*>(nullptr));
    curl_easy_setopt(handle.get(), CURLOPT_RESOLVE, static_cast<curl_slist*>(nullptr));
    curl_easy_setopt(handle.get(), CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
    curl_easy_setopt(handle.get(), CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    std::lock_guard lock(poolMutex_);
    idle_.push_back(std::move(handle));
  }

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<Client*>(self)->locks_.at(static_cast<std::size_t>(data)).lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<Client*>(self)->locks_.at(static_cast<std::size_t>(data)).unlock();
  }

  CurlShare share_;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  CurlEasy template_;
  std::mutex poolMutex_;
  std::vector<CurlEasy> idle_;
};

// ---- One attempt ----------------------------------------------------------

namespace {

// State of one request while libcurl runs it.
struct Attempt {
  CURL* handle = nullptr;
  const ResponseSink* sink = nullptr;
  std::function<void()> onResponse;  // the address answered
  ResponseHead head;
  bool headDone = false;
  bool contentTypeSeen = false;
  std::optional<Error> refused;  // the sink's own message

  // Runs one callback step for libcurl, which is C: nothing may be thrown
  // through it. A throw stops the transfer like a refusal.
  template <class Step>
  std::size_t guarded(Step&& step) noexcept {
    try {
      return step();
    } catch (const std::exception& e) {
      refuseQuietly(e.what());
    } catch (...) {
      refuseQuietly("unknown error");
    }
    return 0;
  }

 private:
  void refuseQuietly(const char* what) noexcept {
    try {
      refused = std::string("Не удалось принять ответ сервера: ") + what;
    } catch (...) {
      refused.reset();
      outOfMemory = true;
    }
  }

 public:
  bool outOfMemory = false;  // even the message could not be made
};

bool isVisibleText(std::string_view value) {
  for (unsigned char c : value)
    if (c != '\t' && (c < 0x20 || c > 0x7e)) return false;
  return true;
}

std::size_t takeHeaderLine(Attempt* a, char* data, std::size_t length);

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* userdata) {
  auto* a = static_cast<Attempt*>(userdata);
  return a->guarded([&] { return takeHeaderLine(a, data, size * count); });
}

std::size_t takeHeaderLine(Attempt* a, char* data, std::size_t length) {
  std::string_view line(data, length);
  if (a->headDone) return length;  // trailers
  if (line.starts_with("HTTP/")) {  // a new response head (after a 1xx, say)
    a->head.contentType.clear();
    a->head.contentLength.reset();
    a->contentTypeSeen = false;
    return length;
  }
  std::string_view content = trimmed(line, kLineBlanks);
  if (content.empty()) {
    long status = 0;
    curl_easy_getinfo(a->handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200) return length;  // an informational answer; the real one follows
    a->head.status = status;
    curl_off_t announced = -1;
    if (curl_easy_getinfo(a->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK && announced >= 0)
      a->head.contentLength = static_cast<std::uint64_t>(announced);
    a->headDone = true;
    if (a->onResponse) a->onResponse();
    if (a->sink->onHead) {
      if (auto accepted = a->sink->onHead(a->head); !accepted) {
        a->refused = accepted.error();
        return 0;
      }
    }
    return length;
  }
  auto colon = content.find(':');
  if (colon != std::string_view::npos && !a->contentTypeSeen &&
      asciiEqualNoCase(trimmed(content.substr(0, colon), kLineBlanks), "content-type")) {
    a->contentTypeSeen = true;
    std::string_view value = trimmed(content.substr(colon + 1), kLineBlanks);
    a->head.contentType = isVisibleText(value) ? std::string(value) : std::string();
  }
  return length;
}

std::size_t onBodyData(char* data, std::size_t size, std::size_t count, void* userdata) {
  auto* a = static_cast<Attempt*>(userdata);
  std::size_t length = size * count;
  if (!a->sink->onChunk || length == 0) return length;
  return a->guarded([&]() -> std::size_t {
    if (auto taken = a->sink->onChunk({reinterpret_cast<const std::uint8_t*>(data), length}); !taken) {
      a->refused = taken.error();
      return 0;
    }
    return length;
  });
}

// Failures while the request is being sent (no answer from this address):
// the next address may still answer.
bool triesNextAddress(CURLcode rc) {
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
      return true;
    default:
      return false;
  }
}

bool isIpv6(const std::string& address) { return address.find(':') != std::string::npos; }

std::string addressWithPort(const std::string& address, int port) {
  return (isIpv6(address) ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

}  // namespace

// ---- The fetcher ------------------------------------------------------------

Fetcher::Fetcher(FetcherOptions options) : options_(std::move(options)) {
  ensureCurl();
  if (!options_.resolver) options_.resolver = systemResolver();
}

Fetcher::~Fetcher() = default;

std::size_t Fetcher::clientCount() const {
  std::lock_guard lock(clientsMutex_);
  return clients_.size();
}

Result<Fetcher::Client*> Fetcher::clientFor(const std::string& host, const std::string& address,
                                            std::chrono::seconds timeout) {
  // Held while a missing client is built, so each key is built once; building
  // does no network I/O.
  std::lock_guard lock(clientsMutex_);
  ClientKey key{host, address, timeout.count()};
  if (auto it = clients_.find(key); it != clients_.end()) return it->second.get();
  auto built = Client::build(options_, timeout);
  if (!built) return failWith("Не удалось собрать HTTP-клиента для этикетки: ", built.error());
  Client* client = built->get();
  clients_.emplace(std::move(key), std::move(*built));
  return client;
}

std::vector<std::string> Fetcher::lastFirst(const std::string& host, std::vector<std::string> addresses) const {
  std::string last;
  {
    std::lock_guard lock(lastMutex_);
    auto it = lastAddress_.find(host);
    if (it == lastAddress_.end()) return addresses;
    last = it->second;
  }
  auto it = std::find(addresses.begin(), addresses.end(), last);
  if (it != addresses.end()) std::rotate(addresses.begin(), it, it + 1);
  return addresses;
}

void Fetcher::rememberAddress(const std::string& host, const std::string& address) {
  std::lock_guard lock(lastMutex_);
  lastAddress_[host] = address;
}

Result<ResponseHead> Fetcher::get(std::string_view urlText, std::chrono::seconds timeout, const ResponseSink& sink) {
  auto url = checkLabelUrl(urlText, options_.allowedHosts);
  if (!url) return fail(url.error());
  const std::string bare = url->bareHost();
  const std::string cacheHost = asciiLower(bare);

  auto resolved = options_.resolver(bare);
  if (!resolved) return fail("Не удалось разрешить имя " + url->host + ": " + resolved.error());
  if (resolved->empty()) return fail("DNS не вернул ни одного адреса для " + url->host);
  const std::vector<std::string> addresses = lastFirst(cacheHost, std::move(*resolved));

  std::vector<std::string> failures;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::string& address = addresses[i];
    auto client = clientFor(cacheHost, address, timeout);
    if (!client) return fail(client.error());
    auto lease = (*client)->lease();
    if (!lease) return failWith("Не удалось собрать HTTP-клиента для этикетки: ", lease.error());
    CURL* h = lease->get();

    CurlSlist pin;
    std::string pinnedAddress = isIpv6(address) ? "[" + address + "]" : address;
    if (!slistAppend(pin, bare + ":" + std::to_string(url->port) + ":" + pinnedAddress))
      return failWith("Не удалось собрать HTTP-клиента для этикетки: ", curl_easy_strerror(CURLE_OUT_OF_MEMORY));

    Attempt attempt;
    attempt.handle = h;
    attempt.sink = &sink;
    attempt.head.via = url->host + " → " + addressWithPort(address, url->port) + ", попытка " + std::to_string(i + 1);
    attempt.onResponse = [this, &cacheHost, &address] { rememberAddress(cacheHost, address); };
    std::array<char, CURL_ERROR_SIZE> detail{};

    curl_easy_setopt(h, CURLOPT_CURLU, url->handle.get());
    curl_easy_setopt(h, CURLOPT_RESOLVE, pin.get());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail.data());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeaderLine);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &attempt);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBodyData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &attempt);
    CURLcode rc = curl_easy_perform(h);

    if (attempt.refused) return fail(*attempt.refused);
    if (attempt.outOfMemory) return fail("Не удалось принять ответ сервера: недостаточно памяти");
    if (rc == CURLE_OK && attempt.headDone) return attempt.head;
    std::string chain = rc == CURLE_OK ? std::string("the server sent no response head")
                                       : curlErrorChain(h, rc, detail.data());
    if (attempt.headDone) return failWith("Файл скачался не до конца: ", chain);
    failures.push_back(address + ": " + chain);
    if (rc != CURLE_OK && !triesNextAddress(rc)) break;
  }
  return fail("error sending request for url (" + url->text + "): адреса не отвечают — " + joined(failures, "; "));
}

std::string bodyTooLarge() {
  return "Файл больше " + std::to_string(kMaxBodyBytes >> 20) + " МБ — скачивание остановлено";
}

Result<LabelFetchResult> Fetcher::fetch(std::string_view url, std::chrono::seconds timeout) {
  LabelFetchResult result;
  ResponseSink sink;
  sink.onChunk = [&result](std::span<const std::uint8_t> chunk) -> Status {
    // The whole body is held in memory, and later once more as Base64.
    if (chunk.size() > kMaxBodyBytes - result.body.size()) return fail(bodyTooLarge());
    result.body.insert(result.body.end(), chunk.begin(), chunk.end());
    return {};
  };
  auto head = get(url, timeout, sink);
  if (!head) return fail(head.error());
  result.head = std::move(*head);
  return result;
}

}  // namespace zorvik::fetch
