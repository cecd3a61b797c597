// Process start: single instance, commands, configuration on an 8 MiB thread,
// the hidden window, then the event loop. `--invoke` runs one command instead.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string_view>
#include <iostream>

#include "app/command_line.hpp"
#include "app/config.hpp"
#include "bridge/arg_body.hpp"
#include "bridge/dispatcher.hpp"
#include "bridge/page_script.hpp"
#include "bridge/task_queue.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "log/app_log.hpp"
#include "platform/app_install.hpp"
#include "platform/desktop.hpp"
#include "platform/os_info.hpp"
#include "platform/paths.hpp"
#include "platform/single_instance.hpp"
#include "platform/thread.hpp"
#include "platform/window.hpp"
#include "services/host_services.hpp"

namespace {

using namespace zorvik;

constexpr std::size_t kConfigStack = 8 * 1024 * 1024;
constexpr auto kSafetyShowDelay = std::chrono::seconds(3);

[[noreturn]] void stop(const std::string& message, int code = 101) {
  std::cerr << message << std::endl;
  std::exit(code);
}

int runInvoke(const app::CommandLine& cl) {
  auto config = app::buildConfig();
  if (!config) stop("configuration: " + config.error());
  log::AppLog appLog(log::defaultLogFolder);
  services::HostServices services{services::EventBus([](const std::string&) {}),
                                  services::StoreRegistry(services::appDataFolder), platform::osFacts(), nullptr,
                                  nullptr, config->openerScope};
  HostContext ctx{*config, appLog, nullptr, &services};
  auto table = commands::buildCommandTable();
  bridge::Dispatcher dispatcher(table, config->permissions, ctx, nullptr, nullptr);

  auto args = bridge::parseArgBody(*cl.invoke, cl.invokeArgs);
  if (!args) {
    std::cerr << args.error() << std::endl;
    return 1;
  }
  auto result = dispatcher.call(*cl.invoke, *args);
  if (!result) {
    std::cerr << result.error() << std::endl;
    return 1;
  }
  if (const auto* json = std::get_if<Json>(&result->body)) {
    std::cout << json->dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
  } else {
    const auto& bytes = std::get<Bytes>(result->body);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
  }
  return 0;
}

std::string currentDir() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

// The sum of the KiB figures of `keys` in a /proc file of this process; -1 when none is there.
long procKib(const char* file, std::initializer_list<std::string_view> keys) {
  std::ifstream in(file);
  std::string key;
  long total = -1;
  while (in >> key) {
    for (std::string_view wanted : keys) {
      if (key.size() == wanted.size() + 1 && key.starts_with(wanted) && key.back() == ':') {
        long value = 0;
        in >> value;
        total = (total < 0 ? 0 : total) + value;
      }
    }
    in.ignore(1 << 16, '\n');
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> rawArgs(argv + 1, argv + argc);
  auto cl = app::parseCommandLine(rawArgs, ZORVIK_FLAVOUR_LOCAL);
  if (!cl) stop(cl.error(), 2);
  if (cl->invoke) return runInvoke(*cl);

  // 1. Single instance: a second launch hands over and ends.
  platform::Launch launch{rawArgs, currentDir()};
  auto claim = platform::claimInstance(app::kIdentifier, launch);
  if (claim && claim->forwarded) return 0;
  if (!claim) std::cerr << "single instance unavailable: " << claim.error() << std::endl;

  // 2. Commands.
  const bridge::CommandTable table = commands::buildCommandTable();

  // 3. Configuration and asset table on the 8 MiB thread.
  Result<app::Config> config = fail("not built");
  if (auto ran = platform::runOnThreadWithStack(kConfigStack, [&] { config = app::buildConfig(); }); !ran)
    stop("unable to create thread with 8MiB stack");
  if (!config) stop("failed to build the configuration: " + config.error());

  // 4. The application: the window, hidden, and the event loop.
  if (auto ui = platform::initWindowing(argc, argv); !ui) stop("failed to start the application: " + ui.error(), 1);

  const log::AppLog appLog(log::defaultLogFolder);
  HostContext ctx{*config, appLog, nullptr, nullptr};
  services::HostServices services{services::EventBus([&ctx](const std::string& script) {
                                    if (ctx.window) ctx.window->evaluateScript(script);
                                  }),
                                  services::StoreRegistry(services::appDataFolder),
                                  platform::osFacts(),
                                  platform::makeScreenKeeper(),
                                  nullptr,
                                  config->openerScope,
                                  platform::postToWindowThread};
  ctx.services = &services;
  bridge::TaskQueue serial(1);
  bridge::TaskQueue pool(4);
  bridge::Dispatcher dispatcher(table, config->permissions, ctx, &serial, &pool);

  auto dataDir = platform::localDataDir();
  auto cacheDir = platform::cacheDir();
  if (!dataDir || !cacheDir) stop("failed to start the application: no data folder", 1);

  platform::WindowSetup setup;
  setup.window = config->window;
  setup.dataDir = (*dataDir / app::kIdentifier / "webview").string();
  setup.cacheDir = (*cacheDir / app::kIdentifier / "webview").string();
  setup.bridgeKey = bridge::newBridgeKey();
  setup.initScripts.push_back(bridge::pageBridgeScript(setup.bridgeKey));
  setup.initScripts.push_back(services::osFactsScript(services.os));
  setup.initScripts.push_back(services::openerClickScript());
  if (cl->noPageShow) setup.initScripts.push_back("window.__ZORVIK_NO_PAGE_SHOW__ = true;");
  setup.automation = cl->automation;
  setup.assets = [assets = config->assets](std::string_view path) { return serveAsset(*assets, path); };
  setup.ipc = [&dispatcher](std::string command, std::string body, platform::IpcRespond respond) {
    auto args = bridge::parseArgBody(command, body);
    if (!args) {
      respond(fail(args.error()));
      return;
    }
    dispatcher.dispatch(command, *args, std::move(respond));
  };
  // Benchmarks measure launch → window shown, then stop.
  if (config->testHooks && std::getenv("ZORVIK_EXIT_ON_SHOW")) {
    setup.onShown = [] {
      auto now = std::chrono::system_clock::now().time_since_epoch();
      // Beside the peak resident size: the proportional share (shared library
      // pages divided among their users) and the pages only this process has.
      std::printf("zorvik: window shown at %lld ns; peak RSS %ld KiB; PSS %ld KiB; private %ld KiB\n",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
                  procKib("/proc/self/status", {"VmHWM"}), procKib("/proc/self/smaps_rollup", {"Pss"}),
                  procKib("/proc/self/smaps_rollup", {"Private_Clean", "Private_Dirty"}));
      std::fflush(stdout);
      platform::quitEventLoop();
    };
  }

  auto window = platform::createWindow(std::move(setup));
  if (!window) stop("failed to build the application: " + window.error(), 1);
  ctx.window = window->get();

  if (claim && claim->primary) {
    claim->primary->listen([&ctx, &services, schemes = config->deepLinkSchemes](platform::Launch launch) {
      if (!ctx.window) return;
      ctx.window->unminimize();
      ctx.window->show();
      ctx.window->focus();
      auto urls = services::deepLinkUrls(launch.args, schemes);
      if (!urls.empty()) services.events.emit("deep-link://new-url", Json(urls));
    });
  }
  // Restart: give up the instance first, or the new process would hand over to us and exit.
  // An installed copy starts its current version, which an update may just have switched.
  services.restart = [&claim, rawArgs]() -> Status {
    if (claim) claim->primary.reset();
    if (auto started = platform::relaunchSelf(rawArgs, platform::restartProgram()); !started) return started;
    platform::postToWindowThread([] { platform::quitEventLoop(); });
    return {};
  };

  // 5. Setup step, once the loop runs: the start line. The safety show waits on
  // the loop too, and goes with `safetyShow` before ctx and appLog do.
  platform::postToWindowThread([&appLog] { (void)appLog.write(std::string("process start v") + app::version()); });
  auto safetyShow = platform::runLaterOnWindowThread(kSafetyShowDelay, [&ctx, &appLog] {
    if (!ctx.window || ctx.window->isVisible()) return;
    ctx.window->show();
    ctx.window->focus();
    (void)appLog.write("окно показано страховкой через 3 с (страница не успела или не смогла сама)");
  });

  platform::runEventLoop();
  safetyShow.reset();
  // Nothing answers later launches from here on: let the next one take over rather than wait for the teardown.
  if (claim) claim->primary.reset();
  ctx.window = nullptr;
  window->reset();
  return 0;
}
