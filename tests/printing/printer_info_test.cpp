// The printer records and paper rules that need no print system: the exact
// default, descriptions, tenths, the range check, queue states and how the
// scheduler chooses the paper for a stored size.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/linux/printers_cups.hpp"
#include "printing/printer_info.hpp"

namespace zorvik::printing {
namespace {

TEST(PrinterInfoTest, OnlyTheExactNameIsTheDefault) {
  platform::PrinterList list{{{"Label", true}, {"label", false}, {"Office", true}}, "label"};
  Json expected = Json::parse(R"([
    {"name": "Label", "displayName": "Label", "isDefault": false, "isOnline": true},
    {"name": "label", "displayName": "label", "isDefault": true, "isOnline": false},
    {"name": "Office", "displayName": "Office", "isDefault": false, "isOnline": true}])");
  EXPECT_EQ(printersJson(list), expected);

  list.defaultName.reset();
  for (const Json& printer : printersJson(list)) EXPECT_FALSE(printer["isDefault"].get<bool>());
  EXPECT_EQ(printersJson({}), Json::array());
}

TEST(PrinterInfoTest, DescribesThePaperByNameAndWholeMillimetres) {
  struct Case {
    std::string name;
    std::optional<double> width, height;
    std::string text;
  } cases[] = {
      {"  Label 58x40 \t", 58, 40, "Label 58x40 (58 × 40 мм)"},
      {"4 x 6 in", 101.6, 152.4, "4 x 6 in (102 × 152 мм)"},
      {"A4", std::nullopt, std::nullopt, "A4"},
      {"", 57.5, 39.4, "58 × 39 мм"},
      {"   ", std::nullopt, std::nullopt, "драйвер не сообщил размер"},
  };
  for (const Case& c : cases) EXPECT_EQ(describePaper(c.name, c.width, c.height), c.text) << c.name;
}

TEST(PrinterInfoTest, PageSizeRecords) {
  EXPECT_EQ(pageSizeJson(std::nullopt), Json::parse(R"({"current": "драйвер не сообщил размер", "widthMm": null,
                                                       "heightMm": null, "supportsCustom": true, "media": null})"));
  platform::PaperSetup setup{"", 58, 40, false, platform::MediaTracking{"MediaTracking", "Continuous", "Web"}};
  EXPECT_EQ(pageSizeJson(setup), Json::parse(R"({"current": "58 × 40 мм", "widthMm": 58.0, "heightMm": 40.0,
      "supportsCustom": false, "media": {"option": "MediaTracking", "current": "Continuous", "gapChoice": "Web"}})"));
}

TEST(PrinterInfoTest, TenthsOfAMillimetre) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double mm;
    int tenths;
  } cases[] = {{58.04, 580}, {39.96, 400}, {58.05, 581}, {0.04, 1}, {0.01, 1},
               {5000, 32767}, {0, 0},    {-3, 0},      {kNaN, 0},  {kInf, 0}};
  for (const Case& c : cases) EXPECT_EQ(tenthsOfMm(c.mm), c.tenths) << c.mm;
}

TEST(PrinterInfoTest, StoredSizesMustBeFrom10To1000Millimetres) {
  const std::string range = "Размер вне разумных пределов: от 10 до 1000 мм";
  struct Case {
    std::optional<double> width, height;
    bool ok;
  } cases[] = {{10, 1000, true},       {1000, 10, true},     {58.04, 39.96, true}, {9.99, 40, false},
               {58, 1000.01, false},   {std::nullopt, 40, false}, {58, std::numeric_limits<double>::quiet_NaN(), false}};
  for (const Case& c : cases) {
    auto size = checkedPaperSize(c.width, c.height);
    ASSERT_EQ(size.has_value(), c.ok) << c.width.value_or(-1) << " × " << c.height.value_or(-1);
    if (!c.ok) {
      EXPECT_EQ(size.error(), range);
    }
  }
  auto stored = checkedPaperSize(58.04, 39.96);
  EXPECT_EQ(stored->width, 580);
  EXPECT_EQ(stored->height, 400);
}

TEST(CupsRulesTest, QueueStates) {
  struct Case {
    std::string reasons;
    bool accepting;
    bool online;
  } cases[] = {
      {"none", true, true},
      {"paused", true, true},
      {"media-low-warning,toner-low-report", true, true},
      {"none", false, false},
      {"media-empty-error", true, false},
      {"paused,door-open-error", true, false},
      {"offline-report", true, false},
      {"", true, true},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::cups::queueIsOnline(c.reasons, c.accepting), c.online) << c.reasons;
}

TEST(CupsRulesTest, CustomSizeNames) {
  EXPECT_EQ(platform::cups::customMediaName(580, 400), "Custom.58x40mm");
  EXPECT_EQ(platform::cups::customMediaName(585, 1000), "Custom.58.5x100mm");
  EXPECT_EQ(platform::cups::customMediaName(100, 10000), "Custom.10x1000mm");
}

TEST(CupsRulesTest, ThePaperAStoredSizeEndsUpOn) {
  using platform::cups::PaperCatalog;
  using platform::cups::PaperSize;
  PaperSize fourBySix{"w288h432", "4 x 6 in", 10160, 15240};
  PaperSize label{"58x40mm", "58 x 40 mm", 5800, 4000};
  PaperCatalog fixed{.listed = true, .sizes = {fourBySix, label}, .defaultSize = fourBySix};
  PaperCatalog custom = fixed;
  custom.custom = true;
  custom.customMinWidth = custom.customMinLength = 1000;
  custom.customMaxWidth = custom.customMaxLength = 100000;
  PaperCatalog open{.listed = false};

  struct Case {
    const PaperCatalog& catalog;
    std::optional<std::string> request;
    std::optional<std::string> formName;  // nullopt: no paper at all
    int width = 0, length = 0;
  } cases[] = {
      {fixed, std::nullopt, "4 x 6 in", 10160, 15240},          // nothing asked: the default
      {fixed, "58X40MM", "58 x 40 mm", 5800, 4000},             // by name, either case
      {fixed, "Custom.57x41mm", "58 x 40 mm", 5800, 4000},      // within 5 points of a size
      {fixed, "Custom.70x50mm", "4 x 6 in", 10160, 15240},      // not offered: the default stays
      {custom, "Custom.70x50mm", "", 7000, 5000},               // a custom size in range
      {custom, "Custom.2000x50mm", "4 x 6 in", 10160, 15240},   // out of range
      {custom, "iso_a4_210x297mm", "", 21000, 29700},           // named, but only as a custom size
      {fixed, "no such paper", "4 x 6 in", 10160, 15240},
      {open, "Custom.58x40mm", "", 5800, 4000},                 // a queue that passes any size on
      {open, "A4", "A4", 21000, 29700},
      {open, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    auto paper = platform::cups::resolvePaper(c.catalog, c.request);
    std::string label = c.request.value_or("(none)");
    ASSERT_EQ(paper.has_value(), c.formName.has_value()) << label;
    if (!paper) continue;
    EXPECT_EQ(paper->formName, *c.formName) << label;
    EXPECT_EQ(paper->width, c.width) << label;
    EXPECT_EQ(paper->length, c.length) << label;
  }
}

}  // namespace
}  // namespace zorvik::printing
