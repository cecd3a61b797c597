#include "fetch/commands/fetch_commands.hpp"
#include "fetch/downloads.hpp"
#include "fetch/process_clients.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

namespace {
struct ExistsArgs {
  std::string path;
};
}  // namespace

// Whether a file is still in the Downloads folder.
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
