// Two roles, in two processes so the host's memory is its own:
//   serve           HTTPS on 127.0.0.1 with the test certificate; prints the
//                   label URL, serves until its standard input closes.
//   fetch URL N     runs `fetch_label` N times in a row through the command
//                   bridge (one warm-up first), prints the time and peak RSS.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <iostream>
#include <string>

#include "app/config.hpp"
#include "bridge/dispatcher.hpp"
#include "bridge/task_queue.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "log/app_log.hpp"
#include "test_server.hpp"

using namespace zorvik;

namespace {

// A label-sized body: about 60 KiB, like a shipping label PDF.
std::string labelBody() {
  std::string body = "%PDF-1.7\n";
  unsigned x = 12345;
  while (body.size() < 60 * 1024) {
    x = x * 1103515245u + 12345u;
    body += static_cast<char>(x >> 16);
  }
  return body;
}

long peakRssKib() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = -1;
  while (status >> key) {
    if (key == "VmHWM:") {
      status >> value;
      break;
    }
    status.ignore(1 << 16, '\n');
  }
  return value;
}

int serve() {
  testing::TestServer server("127.0.0.1", true);
  server.route("/label.pdf", testing::Canned{200, labelBody()});
  std::cout << server.base() << "/label.pdf" << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

int fetch(const std::string& url, int count) {
  auto config = app::buildConfig();
  if (!config) {
    std::cerr << config.error() << std::endl;
    return 1;
  }
  log::AppLog appLog([]() -> Result<std::filesystem::path> { return fail("no log in the benchmark"); });
  HostContext ctx{*config, appLog, nullptr};
  auto table = commands::buildCommandTable();
  bridge::TaskQueue pool(4);
  bridge::Dispatcher dispatcher(table, config->permissions, ctx, nullptr, &pool);
  const std::size_t expected = ((labelBody().size() + 2) / 3) * 4;

  auto once = [&]() -> bool {
    std::promise<Result<bridge::Reply>> answered;
    dispatcher.dispatch("fetch_label", {{"url", url}}, [&](Result<bridge::Reply> r) { answered.set_value(std::move(r)); });
    auto r = answered.get_future().get();
    if (!r) {
      std::cerr << "fetch_label: " << r.error() << std::endl;
      return false;
    }
    const Json& json = std::get<Json>(r->body);
    return json["status"] == 200 && json["bytes"].get_ref<const std::string&>().size() == expected;
  };
  if (!once()) return 1;  // warm-up: builds the client, opens the connection
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i)
    if (!once()) return 1;
  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::printf("fetch_label %d fetches %.1f ms peak_rss_kib %ld\n", count, ms, peakRssKib());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string role = argc > 1 ? argv[1] : "";
  if (role == "serve") return serve();
  if (role == "fetch" && argc == 4) return fetch(argv[2], std::stoi(argv[3]));
  std::cerr << "usage: bench_fetch_label serve | fetch URL N" << std::endl;
  return 2;
}
