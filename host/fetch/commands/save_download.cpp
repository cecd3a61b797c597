#include "fetch/commands/fetch_commands.hpp"
#include "fetch/downloads.hpp"
#include "fetch/process_clients.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

namespace {
struct SaveArgs {
  std::string name;
  Bytes data;
};
}  // namespace

// The page's bytes as a file in the Downloads folder.
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

}  // namespace zorvik::fetch
