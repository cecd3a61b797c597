#include "app/command_line.hpp"

namespace zorvik::app {

Result<CommandLine> parseCommandLine(const std::vector<std::string>& args, bool testHooks) {
  CommandLine cl;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--invoke") {
      if (i + 1 >= args.size()) return fail("--invoke needs a command name");
      cl.invoke = args[++i];
      if (i + 1 < args.size() && !args[i + 1].starts_with("--")) cl.invokeArgs = args[++i];
    } else if (a == "--automation" || a == "--no-page-show") {
      if (!testHooks) return fail(a + " is not available in this build");
      (a == "--automation" ? cl.automation : cl.noPageShow) = true;
    } else {
      cl.rest.push_back(a);
    }
  }
  return cl;
}

}  // namespace zorvik::app
