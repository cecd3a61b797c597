#include "update/process_updater.hpp"

#include <mutex>

#include "app/config.hpp"
#include "fetch/process_clients.hpp"
#include "platform/os_info.hpp"
#include "platform/paths.hpp"

namespace zorvik::update {

Updater& processUpdater(const app::Config& config) {
  // Never destroyed: a download on a worker may still run while the process ends.
  static Updater* updater = nullptr;
  static std::once_flag once;
  std::call_once(once, [&] {
    UpdaterSettings s;
    s.endpoint = config.updaterEndpoint;
    s.publicKey = config.updaterPubkey;
    s.target = "linux";
    s.arch = platform::osFacts().arch;
    s.currentVersion = app::version();
    if (auto cache = platform::cacheDir()) s.downloadDir = *cache / app::kIdentifier / "update";
    s.layout = [] { return platform::runningLayout(); };
    if (auto exe = platform::executableDir()) s.runningVersionDir = *exe;
    updater = new Updater(std::move(s), fetch::processFetcher(config));
  });
  return *updater;
}

}  // namespace zorvik::update
