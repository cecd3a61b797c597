#include "fetch/commands/fetch_commands.hpp"
#include "fetch/fetcher.hpp"
#include "fetch/process_clients.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

namespace {
struct Args {
  std::string url;
};
}  // namespace

// One fetch under two names: fetch_label and fetch_url.
bridge::Command fetchLabelCommand(std::string name) {
  return bridge::makeCommand<Args>(
      std::move(name), bridge::Mode::Async,
      [](const bridge::ArgReader& r) -> Result<Args> {
        auto url = r.string("url");
        if (!url) return fail(url.error());
        return Args{std::move(*url)};
      },
      [](const Args& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto result = processFetcher(ctx.config).fetch(a.url);
        if (!result) return fail(result.error());
        return bridge::Reply(toJson(*result));
      });
}

}  // namespace zorvik::fetch
