// Which host-service commands the page may call. The host's own commands are
// always allowed; a service command not listed here is refused.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zorvik::app {

struct Permissions {
  std::map<std::string, std::set<std::string, std::less<>>, std::less<>> allowed;

  [[nodiscard]] bool allows(std::string_view service, std::string_view command) const;
  [[nodiscard]] static Error refusal(std::string_view service, std::string_view command);
};

// The page's one capability, for the window `main`.
Permissions pagePermissions();

}  // namespace zorvik::app
