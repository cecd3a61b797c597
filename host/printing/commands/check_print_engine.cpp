#include "printing/commands/printing_commands.hpp"
#include "host_context.hpp"
#include "platform/library.hpp"
#include "printing/engine_loader.hpp"
#include "printing/renderer.hpp"

namespace zorvik::printing {

// Whether printing can work here: answered by the renderer thread itself, so a
// success means the engine really is loaded there. Serial: it may wait behind a render.
bridge::Command checkPrintEngineCommand() {
  return bridge::makeCommand<bridge::NoArgs>(
      "check_print_engine", bridge::Mode::Serial, bridge::noArgs,
      [](const bridge::NoArgs&, HostContext&) -> Result<bridge::Reply> {
        auto label = processRenderer().probe();
        if (!label) return fail(label.error());
        return bridge::Reply(Json("Всё готово к печати.\nСистема: " + systemText(platform::describeSystem()) +
                                  "\nБиблиотека печати: " + *label));
      });
}

}  // namespace zorvik::printing
