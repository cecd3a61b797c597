#include "printing/printer_info.hpp"

#include <cmath>

#include "core/text.hpp"

namespace zorvik::printing {

namespace {

constexpr const char* kNoSize = "драйвер не сообщил размер";

std::string wholeMm(double mm) { return std::to_string(std::llround(mm)); }

}  // namespace

Json printersJson(const platform::PrinterList& list) {
  Json printers = Json::array();
  for (const platform::PrinterStatus& printer : list.printers) {
    printers.push_back({{"name", printer.name},
                        {"displayName", printer.name},
                        {"isDefault", list.defaultName && *list.defaultName == printer.name},
                        {"isOnline", printer.isOnline}});
  }
  return printers;
}

std::string describePaper(const std::string& formName, std::optional<double> widthMm, std::optional<double> heightMm) {
  std::string name(trimmed(formName));
  bool sized = widthMm && heightMm;
  std::string size = sized ? wholeMm(*widthMm) + " × " + wholeMm(*heightMm) + " мм" : "";
  if (!name.empty()) return sized ? name + " (" + size + ")" : name;
  return sized ? size : kNoSize;
}

Json pageSizeJson(const std::optional<platform::PaperSetup>& setup) {
  Json info = {{"current", kNoSize}, {"widthMm", nullptr}, {"heightMm", nullptr}, {"supportsCustom", true},
               {"media", nullptr}};
  if (!setup) return info;
  bool sized = setup->widthMm && setup->heightMm;
  info["current"] = describePaper(setup->formName, setup->widthMm, setup->heightMm);
  if (sized) {
    info["widthMm"] = *setup->widthMm;
    info["heightMm"] = *setup->heightMm;
  }
  info["supportsCustom"] = setup->supportsCustom;
  if (setup->media)
    info["media"] = {{"option", setup->media->option},
                     {"current", setup->media->current},
                     {"gapChoice", setup->media->gapChoice}};
  return info;
}

int tenthsOfMm(double mm) {
  if (!std::isfinite(mm) || mm <= 0) return 0;
  double tenths = std::round(mm * 10);  // std::round takes halves away from zero
  if (tenths < 1) return 1;
  if (tenths > 32767) return 32767;
  return static_cast<int>(tenths);
}

Result<PaperTenths> checkedPaperSize(std::optional<double> widthMm, std::optional<double> heightMm) {
  auto inRange = [](std::optional<double> mm) { return mm && std::isfinite(*mm) && *mm >= 10 && *mm <= 1000; };
  if (!inRange(widthMm) || !inRange(heightMm)) return fail("Размер вне разумных пределов: от 10 до 1000 мм");
  return PaperTenths{tenthsOfMm(*widthMm), tenthsOfMm(*heightMm)};
}

}  // namespace zorvik::printing
