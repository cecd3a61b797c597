// save_download, save_url_download and file_exists: files in the Downloads folder.
#include "fetch/downloads.hpp"
#include "fetch/fetch_commands.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

namespace {

struct SaveArgs {
  std::string name;
  Bytes data;
};
struct SaveUrlArgs {
  std::string url;
  std::string name;
};
struct ExistsArgs {
  std::string path;
};

}  // namespace

bridge::Command saveDownloadCommand() {
  return bridge::makeCommand<SaveArgs>(
      "save_download", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<SaveArgs> {
        auto name = r.string("name");
        if (!name) return fail(name.error());
        auto data = r.bytes("data");
        if (!data) return fail(data.error());
        return SaveArgs{std::move(*name), std::move(*data)};
      },
      [](const SaveArgs& a, HostContext&) -> Result<bridge::Reply> {
        if (a.data.empty()) return fail("Файл пустой");
        auto dir = ensureDownloadsDir();
        if (!dir) return fail(dir.error());
        auto saved = saveBytes(*dir, a.name, a.data);
        if (!saved) return fail(saved.error());
        return bridge::Reply(Json(pathText(*saved)));
      });
}

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

bridge::Command fileExistsCommand() {
  return bridge::makeCommand<ExistsArgs>(
      "file_exists", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<ExistsArgs> {
        auto path = r.string("path");
        if (!path) return fail(path.error());
        return ExistsArgs{std::move(*path)};
      },
      [](const ExistsArgs& a, HostContext&) -> Result<bridge::Reply> {
        auto dir = findDownloadsDir();
        if (!dir) return fail(dir.error());
        return bridge::Reply(Json(existsInside(*dir, a.path)));
      });
}

}  // namespace zorvik::fetch
