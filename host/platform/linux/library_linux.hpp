// The Linux loader's failures, told apart from facts gathered about the file.
// Separate from the loading itself so the mapping can be tested on any facts.
#pragma once

#include <string>

#include "platform/library.hpp"

namespace zorvik::platform::linux_loader {

struct LoadFacts {
  std::string path;
  int openErrno = 0;       // errno of opening the file for reading; 0 when it opened
  std::string header;      // the first bytes of the file (up to 64)
  bool noexecMount = false;
  std::string loaderText;  // dlerror() of the failed load, in the C locale
};

[[nodiscard]] LoadFailure classifyLoadFailure(const LoadFacts& facts);

// "PRETTY_NAME" of an os-release file (or NAME and VERSION), empty when absent.
[[nodiscard]] std::string osReleaseName(const std::string& osRelease);

}  // namespace zorvik::platform::linux_loader
