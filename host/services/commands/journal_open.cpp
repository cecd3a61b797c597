#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

namespace {
struct OpenArgs {
  std::string path;
};
}  // namespace

// Opens a journal file of the page: {rid, entries, keptAside}. Reading the
// file is disk work, so it runs off the window's thread.
bridge::Command journalOpenCommand() {
  return bridge::makeCommand<OpenArgs>(
      "plugin:journal|open", bridge::Mode::Async,
      [](const bridge::ArgReader& r) -> Result<OpenArgs> {
        auto path = r.string("path");
        if (!path) return fail(path.error());
        return OpenArgs{std::move(*path)};
      },
      [](const OpenArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        auto opened = (*s)->journals.open(a.path);
        if (!opened) return fail(opened.error());
        Json aside = opened->keptAside ? Json(opened->keptAside->filename().string()) : Json(nullptr);
        return bridge::Reply(Json{{"rid", opened->rid}, {"entries", std::move(opened->entries)}, {"keptAside", aside}});
      });
}

}  // namespace zorvik::services
