// Printers and paper through a private CUPS scheduler and the app's own
// commands: the list and its states, the paper each queue holds, storing the
// user's own size, and schedulers with no printers or none at all.
#include <gtest/gtest.h>

#include <fstream>

#include "../fixtures/cups/private_cupsd.hpp"
#include "core/json.hpp"
#include "print_job_support.hpp"

namespace zorvik::printing {
namespace {

using testing::invokeApp;
using testing::PrivateCupsd;

Json answer(const testing::Invocation& call) {
  EXPECT_EQ(call.exitCode, 0) << call.output;
  return Json::parse(call.output, nullptr, false);
}

std::string pageSizeArgs(const std::string& printer) { return Json{{"printerName", printer}}.dump(); }

class PrinterCupsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cupsd = PrivateCupsd::shared(); }
  void SetUp() override {
    ASSERT_NE(cupsd, nullptr);
    cupsd->clearUserOptions();
  }

  static std::string userOptions() {
    std::ifstream in(cupsd->lpoptions());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static inline PrivateCupsd* cupsd = nullptr;
};

TEST_F(PrinterCupsTest, ListsTheQueuesInCupsOrderWithTheDefaultAndTheirStates) {
  Json printers = answer(invokeApp("get_printers", "{}"));
  Json expected = Json::array();
  for (auto [name, isDefault, isOnline] : {std::tuple{"custom", false, true},
                                           {"fixed", false, true},
                                           {"raw", true, true},
                                           {"rejecting", false, false},  // not accepting jobs
                                           {"stopped", false, true},     // paused, nothing wrong
                                           {"tracking", false, true}})
    expected.push_back({{"name", name}, {"displayName", name}, {"isDefault", isDefault}, {"isOnline", isOnline}});
  EXPECT_EQ(printers, expected);

  // The user's own default wins over the scheduler's.
  std::filesystem::create_directories(cupsd->lpoptions().parent_path());
  std::ofstream(cupsd->lpoptions()) << "Default tracking\n";
  for (const Json& printer : answer(invokeApp("get_printers", "{}")))
    EXPECT_EQ(printer["isDefault"], printer["name"] == "tracking") << printer;
}

TEST_F(PrinterCupsTest, ThePaperEachQueueHolds) {
  Json noSize = Json::parse(R"({"current": "драйвер не сообщил размер", "widthMm": null, "heightMm": null,
                               "supportsCustom": true, "media": null})");
  Json fourBySix = Json::parse(R"json({"current": "4 x 6 in (102 × 152 мм)", "widthMm": 101.6, "heightMm": 152.4,
                                  "supportsCustom": true, "media": null})json");
  Json fixed = fourBySix;
  fixed["supportsCustom"] = false;
  Json tracking = fixed;
  tracking["media"] = {{"option", "MediaTracking"}, {"current", "Continuous"}, {"gapChoice", "Web"}};
  struct Case {
    std::string printer;
    Json info;
  } cases[] = {
      {"raw", noSize},  // no driver, no paper of its own
      {"custom", fourBySix},
      {"fixed", fixed},
      {"tracking", tracking},
      {"no-such-printer", noSize},
  };
  for (const Case& c : cases) EXPECT_EQ(answer(invokeApp("get_page_size", pageSizeArgs(c.printer))), c.info) << c.printer;
}

TEST_F(PrinterCupsTest, StoringASizeAnswersWhatCupsKept) {
  struct Case {
    std::string printer;
    double width, height;
    std::string current;
    Json widthMm, heightMm;
    std::string stored;  // the line the user's lpoptions gets
  } cases[] = {
      // The driver's own 58 × 40 mm size is the nearest match.
      {"custom", 58.04, 39.96, "58 x 40 mm (58 × 40 мм)", 58.0, 40.0, "Dest custom media=Custom.58x40mm"},
      {"custom", 70, 50, "70 × 50 мм", 70.0, 50.0, "Dest custom media=Custom.70x50mm"},
      // This driver takes only its own sizes: it keeps its default.
      {"fixed", 70, 50, "4 x 6 in (102 × 152 мм)", 101.6, 152.4, "Dest fixed media=Custom.70x50mm"},
      {"raw", 10, 1000, "10 × 1000 мм", 10.0, 1000.0, "Dest raw media=Custom.10x1000mm"},
      {"raw", 1000, 10, "1000 × 10 мм", 1000.0, 10.0, "Dest raw media=Custom.1000x10mm"},
  };
  for (const Case& c : cases) {
    Json args = {{"printerName", c.printer}, {"widthMm", c.width}, {"heightMm", c.height}};
    Json info = answer(invokeApp("set_page_size", args.dump()));
    EXPECT_EQ(info["current"], c.current) << c.printer << " " << c.width;
    EXPECT_EQ(info["widthMm"], c.widthMm) << c.printer << " " << c.width;
    EXPECT_EQ(info["heightMm"], c.heightMm) << c.printer << " " << c.width;
    EXPECT_NE(userOptions().find(c.stored + "\n"), std::string::npos) << userOptions();
    // Reading it again gives the same answer.
    EXPECT_EQ(answer(invokeApp("get_page_size", pageSizeArgs(c.printer))), info);
  }
  // The scheduler's default printer is not pinned as the user's choice.
  EXPECT_EQ(userOptions().find("Default"), std::string::npos) << userOptions();
}

TEST_F(PrinterCupsTest, StoringASizeTurnsOnGapSensing) {
  Json args = {{"printerName", "tracking"}, {"widthMm", 58}, {"heightMm", 40}};
  Json info = answer(invokeApp("set_page_size", args.dump()));
  EXPECT_EQ(info["current"], "58 x 40 mm (58 × 40 мм)");
  EXPECT_EQ(info["media"], Json({{"option", "MediaTracking"}, {"current", "Web"}, {"gapChoice", "Web"}}));
  EXPECT_NE(userOptions().find("Dest tracking media=Custom.58x40mm MediaTracking=Web\n"), std::string::npos)
      << userOptions();
}

TEST_F(PrinterCupsTest, SizesOutOfRangeAreRefusedBeforeAnyPrinterIsOpened) {
  // The printer does not exist: only the range check can answer.
  for (auto [width, height] : {std::pair{9.99, 40.0}, {58.0, 1000.01}, {0.0, 0.0}}) {
    Json args = {{"printerName", "no-such-printer"}, {"widthMm", width}, {"heightMm", height}};
    auto call = invokeApp("set_page_size", args.dump());
    EXPECT_EQ(call.exitCode, 1);
    EXPECT_EQ(call.output, "Размер вне разумных пределов: от 10 до 1000 мм") << width << " × " << height;
  }
  auto notANumber = invokeApp("set_page_size", R"({"printerName": "raw", "widthMm": null, "heightMm": 40})");
  EXPECT_EQ(notANumber.output, "Размер вне разумных пределов: от 10 до 1000 мм");
  EXPECT_FALSE(std::filesystem::exists(cupsd->lpoptions()));

  auto unknown = invokeApp("set_page_size", R"({"printerName": "no-such-printer", "widthMm": 58, "heightMm": 40})");
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.output, "Принтер не открылся — проверьте, подключён ли он");
}

TEST_F(PrinterCupsTest, SchedulersWithNoPrintersAndNoneAtAll) {
  auto empty = PrivateCupsd::startEmpty();
  ASSERT_NE(empty, nullptr);
  std::string none = "CUPS_SERVER='" + empty->socket() + "'";
  std::string gone = "CUPS_SERVER=/nonexistent/cups.sock";
  Json label = Json::array();
  for (char c : std::string("%PDF-1.4\n")) label.push_back(static_cast<int>(c));
  std::string printDefault = Json{{"data", label}}.dump();
  struct Case {
    std::string environment, command, args;
    int exitCode;
    std::string output;
  } cases[] = {
      {none, "get_printers", "{}", 0, "[]"},
      {gone, "get_printers", "{}", 1,
       "Служба печати CUPS не отвечает, поэтому список принтеров не получен. Установите CUPS (пакет cups) и запустите "
       "его — как это сделать, написано в «Как настроить печать»."},
      {gone, "get_page_size", pageSizeArgs("raw"), 1,
       "Служба печати CUPS не отвечает, поэтому настройки принтера не прочитаны. Запустите CUPS — как это сделать, "
       "написано в «Как настроить печать»."},
      {none, "print_bytes", printDefault, 1, "В системе нет принтера по умолчанию — выберите принтер в настройках"},
      {gone, "print_bytes", printDefault, 1, "Не удалось узнать принтер по умолчанию — выберите принтер в настройках"},
  };
  for (const Case& c : cases) {
    auto call = invokeApp(c.command, c.args, c.environment);
    EXPECT_EQ(call.exitCode, c.exitCode) << c.command << " " << c.environment;
    EXPECT_EQ(call.output, c.output) << c.command << " " << c.environment;
  }
}

}  // namespace
}  // namespace zorvik::printing
