// Named events between host and page. The page registers a callback, then
// listens; the host delivers each emitted event by running a script that calls
// the callback. Window thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/json.hpp"

namespace zorvik::services {

class EventBus {
 public:
  using RunScript = std::function<void(const std::string& script)>;
  explicit EventBus(RunScript run) : run_(std::move(run)) {}

  // `handler` is the page's callback id; answers the listener's event id.
  std::uint32_t listen(const std::string& event, std::uint32_t handler);
  void unlisten(const std::string& event, std::uint32_t eventId);
  // Delivers to every listener of `event`; an event nobody listens to is dropped.
  void emit(const std::string& event, const Json& payload);
  [[nodiscard]] bool hasListeners(const std::string& event) const;

 private:
  struct Listener {
    std::uint32_t id;
    std::uint32_t handler;
  };
  RunScript run_;
  std::uint32_t next_ = 1;
  std::map<std::string, std::vector<Listener>, std::less<>> listeners_;
};

// The script that hands one event to the page callback `handler`.
std::string eventDeliveryScript(std::uint32_t handler, const std::string& event, std::uint32_t eventId,
                                const Json& payload);

}  // namespace zorvik::services
