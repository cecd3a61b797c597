// The records the page gets about printers (`Printer`, `PageSizeInfo`) and the
// rules for the paper size the user stores. Pure; any thread.
#pragma once

#include <optional>
#include <string>

#include "core/json.hpp"
#include "core/result.hpp"
#include "platform/printers.hpp"

namespace zorvik::printing {

// The answer of `get_printers`: {name, displayName, isDefault, isOnline} per
// printer, in the system's order. Only a name equal byte for byte to the
// default's is the default.
[[nodiscard]] Json printersJson(const platform::PrinterList& list);

// The text describing a paper: "Label (58 × 40 мм)", "Label", "58 × 40 мм",
// or "драйвер не сообщил размер" when neither a name nor a size is known.
// Sizes are written as whole millimetres.
[[nodiscard]] std::string describePaper(const std::string& formName, std::optional<double> widthMm,
                                        std::optional<double> heightMm);

// The answer of `get_page_size` and `set_page_size`: {current, widthMm,
// heightMm, supportsCustom, media}. Nothing known gives null sizes and
// "драйвер не сообщил размер".
[[nodiscard]] Json pageSizeJson(const std::optional<platform::PaperSetup>& setup);

// Tenths of a millimetre: round(mm × 10), halves away from zero, within
// 1..32767; 0 for anything that is not a finite number above 0.
[[nodiscard]] int tenthsOfMm(double mm);

struct PaperTenths {
  int width = 0;
  int height = 0;
};

// A size the user may store: both sides from 10 to 1000 mm, else "Размер вне
// разумных пределов: от 10 до 1000 мм" (also for a side that is not a number).
[[nodiscard]] Result<PaperTenths> checkedPaperSize(std::optional<double> widthMm, std::optional<double> heightMm);

}  // namespace zorvik::printing
