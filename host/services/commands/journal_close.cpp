#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

// Releases a journal's resource id; the file stays.
bridge::Command journalCloseCommand() {
  return bridge::makeCommand<Rid>("plugin:journal|close", bridge::Mode::Async, parseRid,
                                  [](const Rid& a, HostContext& ctx) -> Result<bridge::Reply> {
                                    auto s = servicesOf(ctx);
                                    if (!s) return fail(s.error());
                                    (*s)->journals.close(a.rid);
                                    return bridge::Reply::null();
                                  });
}

}  // namespace zorvik::services
