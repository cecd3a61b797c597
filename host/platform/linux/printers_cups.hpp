// The rules of the CUPS printer backend that need no scheduler, kept apart so
// tests can check them on their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik::platform::cups {

// A queue is usable unless one of its state reasons ends in "-error", it
// reports itself offline, or it does not accept jobs. A paused queue is usable.
[[nodiscard]] bool queueIsOnline(std::string_view stateReasons, bool acceptingJobs);

// One paper size a printer offers. Sizes are hundredths of a millimetre.
struct PaperSize {
  std::string name;      // the printer's own name for it
  std::string formName;  // the name shown; empty for a custom size
  int width = 0;
  int length = 0;
};

// Every paper a printer offers.
struct PaperCatalog {
  bool listed = true;  // false: the queue names no paper and passes any size on
  std::vector<PaperSize> sizes;
  std::optional<PaperSize> defaultSize;
  bool custom = false;  // sizes between customMin and customMax are taken as they are
  int customMinWidth = 0, customMinLength = 0, customMaxWidth = 0, customMaxLength = 0;
};

// The paper a `request` (a size name in any of the forms CUPS understands,
// "Custom.58x40mm" included) ends up on, as the scheduler chooses it: a size
// of that name, else one within 5 points of it, else a custom size in range,
// else the printer's default. nullopt when nothing is known.
[[nodiscard]] std::optional<PaperSize> resolvePaper(const PaperCatalog& catalog,
                                                    const std::optional<std::string>& request);

// Whether `text` begins with `prefix`, ASCII letters of either case alike.
[[nodiscard]] bool startsWithNoCase(std::string_view text, std::string_view prefix);

// The CUPS name of a custom size given in tenths of a millimetre: "Custom.58x40mm".
[[nodiscard]] std::string customMediaName(int widthTenths, int heightTenths);

}  // namespace zorvik::platform::cups
