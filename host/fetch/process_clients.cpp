#include "fetch/process_clients.hpp"

#include <cstdlib>
#include <mutex>

#include "app/config.hpp"
#include "fetch/fetcher.hpp"
#include "fetch/http_service.hpp"

namespace zorvik::fetch {

std::optional<std::string> testCaBundle() {
#if ZORVIK_FLAVOUR_LOCAL
  if (const char* path = std::getenv("ZORVIK_TEST_CA_BUNDLE"); path && *path) return std::string(path);
#endif
  return std::nullopt;
}

Fetcher& processFetcher(const app::Config& config) {
  // Never destroyed: fetches on worker threads may still run while the process ends.
  static Fetcher* fetcher = nullptr;
  static std::once_flag once;
  std::call_once(once, [&] {
    fetcher = new Fetcher(FetcherOptions{{config.hosts.app, config.hosts.file, config.hosts.shop},
                                         systemResolver(),
                                         testCaBundle()});
  });
  return *fetcher;
}

HttpService& processHttpService(const app::Config& config) {
  static HttpService* service = nullptr;
  static std::once_flag once;
  std::call_once(once, [&] { service = new HttpService(config.httpScope, testCaBundle()); });
  return *service;
}

}  // namespace zorvik::fetch
