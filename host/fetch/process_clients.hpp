// The process's own label fetcher and http service, shared by the fetch commands.
#pragma once

#include <optional>
#include <string>

namespace zorvik::app {
struct Config;
}

namespace zorvik::fetch {

class Fetcher;
class HttpService;

// The process's fetcher over the configured hosts, built on first use and kept
// until the process ends (its client caches live that long). Any thread.
Fetcher& processFetcher(const app::Config& config);

// The process's http service over the configured scope. Any thread.
HttpService& processHttpService(const app::Config& config);

// Local builds only: a PEM file named by ZORVIK_TEST_CA_BUNDLE becomes the only
// trusted authority, so tests can run HTTPS servers with their own CA. Release
// builds always use the system's trust store.
std::optional<std::string> testCaBundle();

}  // namespace zorvik::fetch
