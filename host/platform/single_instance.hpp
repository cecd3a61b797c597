// One process per user and application identifier. A second launch hands its
// arguments and working folder to the first and ends.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.hpp"

namespace zorvik::platform {

struct Launch {
  std::vector<std::string> args;
  std::string cwd;
};

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Window thread: from now on, each later launch is delivered to `onLaunch`
  // on the window thread.
  virtual void listen(std::function<void(Launch)> onLaunch) = 0;
};

struct InstanceClaim {
  // Set when this process is the first: it owns the instance from now on.
  std::unique_ptr<SingleInstance> primary;
  // True when another process took the launch and acknowledged it.
  bool forwarded = false;
};

// Claims the instance for `identifier`, or hands `launch` to the running one.
[[nodiscard]] Result<InstanceClaim> claimInstance(std::string_view identifier, const Launch& launch);

}  // namespace zorvik::platform
