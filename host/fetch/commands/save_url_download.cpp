#include "fetch/commands/fetch_commands.hpp"
#include "fetch/downloads.hpp"
#include "fetch/process_clients.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

namespace {
struct SaveUrlArgs {
  std::string url;
  std::string name;
};
}  // namespace

// A file fetched from one of the configured hosts into the Downloads folder.
bridge::Command saveUrlDownloadCommand() {
  return bridge::makeCommand<SaveUrlArgs>(
      "save_url_download", bridge::Mode::Async,
      [](const bridge::ArgReader& r) -> Result<SaveUrlArgs> {
        auto url = r.string("url");
        if (!url) return fail(url.error());
        auto name = r.string("name");
        if (!name) return fail(name.error());
        return SaveUrlArgs{std::move(*url), std::move(*name)};
      },
      [](const SaveUrlArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto saved = saveFromUrl(processFetcher(ctx.config), a.url, a.name, ensureDownloadsDir);
        if (!saved) return fail(saved.error());
        return bridge::Reply(Json(pathText(*saved)));
      });
}

}  // namespace zorvik::fetch
