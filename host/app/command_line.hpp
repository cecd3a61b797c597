// What the process was asked to do by its arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/result.hpp"

namespace zorvik::app {

struct CommandLine {
  // --invoke NAME [JSON-ARGS]: run one command without a window.
  std::optional<std::string> invoke;
  std::string invokeArgs = "{}";
  // --automation: let WebKitWebDriver drive the window (test builds only).
  bool automation = false;
  // --no-page-show: the page never shows its window (test builds only).
  bool noPageShow = false;
  // Everything else (deep links among it), handed to a running instance.
  std::vector<std::string> rest;
};

// `args` excludes the program name. `testHooks` says whether this build takes
// the test-only switches.
[[nodiscard]] Result<CommandLine> parseCommandLine(const std::vector<std::string>& args, bool testHooks);

}  // namespace zorvik::app
