#include "fetch/http_service.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <thread>

#include "app/config.hpp"
#include "core/text.hpp"
#include "fetch/curl_handles.hpp"
#include "fetch/text.hpp"
#include "fetch/url.hpp"

namespace zorvik::fetch {

namespace {

// More than this much unread body pauses the transfer until the page reads.
constexpr std::size_t kMaxUnread = 1 << 20;

int defaultPort(std::string_view scheme) { return scheme == "https" ? 443 : scheme == "http" ? 80 : 0; }

bool isToken(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s) {
    if (std::isalnum(c)) continue;
    if (std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) == std::string_view::npos) return false;
  }
  return true;
}

bool isHeaderValue(std::string_view s) {
  for (unsigned char c : s)
    if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
  return true;
}

constexpr std::string_view kCancelled = "Request cancelled";

}  // namespace

// One request and what has come back of it. Shared by the calls of the page
// and the transfer thread; everything below `mutex` is guarded by it.
struct HttpService::Exchange {
  HttpRequest request;
  ParsedUrl url;
  std::optional<std::string> caBundle;

  std::mutex mutex;
  std::condition_variable changed;
  enum class Phase { Created, Sending, Head, Done, Failed } phase = Phase::Created;
  bool cancelled = false;
  long status = 0;
  std::string statusText;
  std::vector<std::pair<std::string, std::string>> headers;
  std::deque<Bytes> unread;
  std::size_t unreadBytes = 0;
  Error error;

  // On the transfer thread, until the body ends.
  static void run(std::shared_ptr<Exchange> self) { self->transfer(); }

 private:
  void transfer();

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* userdata);
  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* userdata);
  std::size_t takeHeader(char* data, std::size_t length);
  std::size_t takeBody(char* data, std::size_t length);
  static int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

  CURL* handle_ = nullptr;
  bool headDone_ = false;
};

// libcurl is C: nothing may be thrown through its callbacks. A step that
// throws (out of memory) stops the transfer.
namespace {
template <class Step>
std::size_t noThrow(Step&& step) noexcept {
  try {
    return step();
  } catch (...) {
    return 0;
  }
}
}  // namespace

std::size_t HttpService::Exchange::onHeader(char* data, std::size_t size, std::size_t count, void* userdata) {
  return noThrow([&] { return static_cast<Exchange*>(userdata)->takeHeader(data, size * count); });
}

std::size_t HttpService::Exchange::takeHeader(char* data, std::size_t length) {
  Exchange* x = this;
  if (x->headDone_) return length;
  std::string_view line = trimmed(std::string_view(data, length), kLineBlanks);
  std::lock_guard lock(x->mutex);
  if (line.starts_with("HTTP/")) {
    x->headers.clear();
    x->statusText.clear();
    auto code = line.find(' ');
    if (code != std::string_view::npos) {
      auto text = line.find(' ', code + 1);
      if (text != std::string_view::npos) x->statusText = std::string(trimmed(line.substr(text + 1), kLineBlanks));
    }
    return length;
  }
  if (line.empty()) {
    long status = 0;
    curl_easy_getinfo(x->handle_, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200) return length;
    x->status = status;
    x->headDone_ = true;
    x->phase = Phase::Head;
    x->changed.notify_all();
    return length;
  }
  if (auto colon = line.find(':'); colon != std::string_view::npos)
    x->headers.emplace_back(std::string(trimmed(line.substr(0, colon), kLineBlanks)),
                              std::string(trimmed(line.substr(colon + 1), kLineBlanks)));
  return length;
}

std::size_t HttpService::Exchange::onBody(char* data, std::size_t size, std::size_t count, void* userdata) {
  return noThrow([&] { return static_cast<Exchange*>(userdata)->takeBody(data, size * count); });
}

std::size_t HttpService::Exchange::takeBody(char* data, std::size_t length) {
  Exchange* x = this;
  std::unique_lock lock(x->mutex);
  x->changed.wait(lock, [x] { return x->cancelled || x->unreadBytes < kMaxUnread; });
  if (x->cancelled) return 0;
  x->unread.emplace_back(reinterpret_cast<std::uint8_t*>(data), reinterpret_cast<std::uint8_t*>(data) + length);
  x->unreadBytes += length;
  x->changed.notify_all();
  return length;
}

int HttpService::Exchange::onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* x = static_cast<Exchange*>(userdata);
  std::lock_guard lock(x->mutex);
  return x->cancelled ? 1 : 0;
}

void HttpService::Exchange::transfer() {
  auto finish = [this](Phase end, Error text) {
    std::lock_guard lock(mutex);
    phase = end;
    error = std::move(text);
    changed.notify_all();
  };
  CurlEasy easy(curl_easy_init());
  if (!easy) return finish(Phase::Failed, "curl_easy_init failed");
  handle_ = easy.get();
  CURL* h = easy.get();

  CurlSlist headerList;
  bool hasUserAgent = false;
  for (const auto& [name, value] : request.headers) {
    if (asciiEqualNoCase(name, "user-agent")) hasUserAgent = true;
    if (!slistAppend(headerList, name + ": " + value)) return finish(Phase::Failed, "out of memory");
  }
  std::string userAgent = std::string("zorvik-mobile/") + app::version();
  std::array<char, CURL_ERROR_SIZE> detail{};

  curl_easy_setopt(h, CURLOPT_CURLU, url.handle.get());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  if (caBundle) {
    curl_easy_setopt(h, CURLOPT_CAINFO, caBundle->c_str());
    curl_easy_setopt(h, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
  }
  if (!hasUserAgent) curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());
  if (request.connectTimeoutMs) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(*request.connectTimeoutMs));
  if (request.timeoutMs) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(*request.timeoutMs));
  if (request.method == "HEAD") {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else if (request.method != "GET" || !request.body.empty()) {
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(request.body.data()));
  }
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, detail.data());
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Exchange::onHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Exchange::onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Exchange::onProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

  CURLcode rc = curl_easy_perform(h);
  if (rc == CURLE_OK && headDone_) return finish(Phase::Done, {});
  std::string chain = rc == CURLE_OK ? std::string("the server sent no response head") : curlErrorChain(h, rc, detail.data());
  if (headDone_) return finish(Phase::Failed, chain);
  finish(Phase::Failed, "error sending request for url (" + url.text + "): " + chain);
}

// ---- The service ------------------------------------------------------------

HttpService::HttpService(std::vector<std::string> scope, std::optional<std::string> caBundle)
    : caBundle_(std::move(caBundle)) {
  ensureCurl();
  for (const auto& text : scope) {
    std::string_view p(text);
    auto sep = p.find("://");
    if (sep == std::string_view::npos) continue;
    Pattern pattern;
    pattern.scheme = asciiLower(p.substr(0, sep));
    std::string_view rest = p.substr(sep + 3);
    auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
    auto colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
      std::string_view port = authority.substr(colon + 1);
      if (port != "*") {
        int n = 0;
        std::from_chars(port.data(), port.data() + port.size(), n);
        pattern.port = n;
      }
      authority = authority.substr(0, colon);
    } else {
      pattern.port = defaultPort(pattern.scheme);
      pattern.defaultPort = true;
    }
    pattern.host = std::string(authority);
    pattern.pathWildcard = path.ends_with('*');
    pattern.pathPrefix = std::string(pattern.pathWildcard ? path.substr(0, path.size() - 1) : path);
    scope_.push_back(std::move(pattern));
  }
}

HttpService::~HttpService() {
  std::lock_guard lock(mutex_);
  for (auto& [rid, x] : open_) {
    std::lock_guard xl(x->mutex);
    x->cancelled = true;
    x->changed.notify_all();
  }
}

Status HttpService::checkScope(std::string_view urlText) const {
  auto url = parseUrl(urlText);
  if (!url) return fail("invalid url " + std::string(urlText) + ": " + url.error());
  if (url->scheme != "http" && url->scheme != "https") return fail("scheme " + url->scheme + " not supported");
  char* rawPath = nullptr;
  curl_url_get(url->handle.get(), CURLUPART_PATH, &rawPath, 0);
  CurlString pathOwner(rawPath);
  std::string_view path = rawPath ? rawPath : "/";
  for (const auto& p : scope_) {
    if (p.scheme != url->scheme || !asciiEqualNoCase(p.host, url->host)) continue;
    if (p.port && *p.port != url->port) continue;
    if (p.pathWildcard ? !path.starts_with(p.pathPrefix) : path != p.pathPrefix) continue;
    return {};
  }
  return fail("url not allowed on the configured scope: " + url->text);
}

Result<std::uint32_t> HttpService::open(HttpRequest request) {
  if (auto allowed = checkScope(request.url); !allowed) return fail(allowed.error());
  if (!isToken(request.method)) return fail("invalid method " + request.method);
  for (const auto& [name, value] : request.headers)
    if (!isToken(name) || !isHeaderValue(value)) return fail("invalid header " + name);
  auto url = parseUrl(request.url);
  if (!url) return fail(url.error());
  auto x = std::make_shared<Exchange>();
  x->request = std::move(request);
  x->url = std::move(*url);
  x->caBundle = caBundle_;
  std::lock_guard lock(mutex_);
  std::uint32_t rid = nextId_++;
  open_.emplace(rid, std::move(x));
  return rid;
}

std::shared_ptr<HttpService::Exchange> HttpService::find(std::uint32_t rid) const {
  std::lock_guard lock(mutex_);
  auto it = open_.find(rid);
  return it == open_.end() ? nullptr : it->second;
}

void HttpService::release(std::uint32_t rid) {
  std::lock_guard lock(mutex_);
  open_.erase(rid);
}

Result<Json> HttpService::send(std::uint32_t rid) {
  auto x = find(rid);
  if (!x) return fail("unknown request id " + std::to_string(rid));
  std::unique_lock lock(x->mutex);
  if (x->phase == Exchange::Phase::Created) {
    x->phase = Exchange::Phase::Sending;
    try {
      std::thread(&Exchange::run, x).detach();
    } catch (const std::system_error& e) {
      x->phase = Exchange::Phase::Failed;
      x->error = e.what();
    }
  }
  x->changed.wait(lock, [&] { return x->cancelled || x->phase != Exchange::Phase::Sending; });
  if (x->cancelled) return fail(std::string(kCancelled));
  if (x->phase == Exchange::Phase::Failed && x->status == 0) {
    Error error = x->error;
    lock.unlock();
    release(rid);
    return fail(error);
  }
  Json headers = Json::array();
  for (const auto& [name, value] : x->headers) headers.push_back(Json::array({name, value}));
  return Json{{"status", x->status}, {"statusText", x->statusText}, {"url", x->url.text},
              {"headers", std::move(headers)}, {"rid", rid}};
}

Result<Bytes> HttpService::readBody(std::uint32_t rid) {
  auto x = find(rid);
  if (!x) return fail("unknown request id " + std::to_string(rid));
  std::unique_lock lock(x->mutex);
  if (x->phase == Exchange::Phase::Created) return fail("the request was not sent yet");
  x->changed.wait(lock, [&] {
    return x->cancelled || !x->unread.empty() || x->phase == Exchange::Phase::Done ||
           x->phase == Exchange::Phase::Failed;
  });
  if (x->cancelled) return fail(std::string(kCancelled));
  if (!x->unread.empty()) {
    Bytes out;
    out.reserve(x->unreadBytes);
    for (auto& chunk : x->unread) out.insert(out.end(), chunk.begin(), chunk.end());
    x->unread.clear();
    x->unreadBytes = 0;
    x->changed.notify_all();
    return out;
  }
  bool failed = x->phase == Exchange::Phase::Failed;
  Error error = x->error;
  lock.unlock();
  release(rid);
  if (failed) return fail(error);
  return Bytes{};
}

void HttpService::cancel(std::uint32_t rid) {
  auto x = find(rid);
  if (!x) return;
  {
    std::lock_guard lock(x->mutex);
    x->cancelled = true;
    x->changed.notify_all();
  }
  release(rid);
}

std::size_t HttpService::openCount() const {
  std::lock_guard lock(mutex_);
  return open_.size();
}

}  // namespace zorvik::fetch
