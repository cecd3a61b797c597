#include "log/app_log.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "test_env.hpp"

namespace zorvik::log {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeBytes(const fs::path& p, std::size_t n) {
  std::ofstream out(p, std::ios::binary);
  std::string chunk(n, 'x');
  out << chunk;
}

AppLog logIn(const fs::path& folder) {
  return AppLog([folder]() -> Result<fs::path> { return folder; });
}

TEST(AppLog, FirstWriteCreatesTheFolderChainAndOneLine) {
  TempDir tmp;
  ScopedEnv data("XDG_DATA_HOME", tmp.path().string());
  AppLog log(defaultLogFolder);
  ASSERT_TRUE(log.write("process start v0.66.2"));
  fs::path file = tmp.path() / "com.quennix.zorvik-mobile" / "logs" / "startup.log";
  std::string text = readAll(file);
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  // "YYYY-MM-DD hh:mm:ss message\n"
  ASSERT_EQ(text.size(), 19 + 1 + std::string("process start v0.66.2").size() + 1);
  EXPECT_EQ(text.substr(20), "process start v0.66.2\n");
}

TEST(AppLog, LineFeedsBecomeSpacesCarriageReturnsStay) {
  TempDir tmp;
  auto log = logIn(tmp.path());
  ASSERT_TRUE(log.write("a\nb\nc\r"));
  EXPECT_EQ(readAll(tmp.path() / "startup.log").substr(20), "a b c\r\n");
}

struct RotationCase {
  std::size_t existing;
  bool rotates;
};

class AppLogRotation : public ::testing::TestWithParam<RotationCase> {};

TEST_P(AppLogRotation, RotatesOnlyAboveOneMillionBytes) {
  TempDir tmp;
  auto log = logIn(tmp.path());
  writeBytes(tmp.path() / "startup.log", GetParam().existing);
  writeBytes(tmp.path() / "startup.log.1", 7);  // an older rotated file is replaced
  ASSERT_TRUE(log.write("next"));
  auto current = readAll(tmp.path() / "startup.log");
  if (GetParam().rotates) {
    EXPECT_EQ(current.substr(20), "next\n");
    EXPECT_EQ(fs::file_size(tmp.path() / "startup.log.1"), GetParam().existing);
  } else {
    EXPECT_EQ(current.size(), GetParam().existing + 25);
    EXPECT_EQ(fs::file_size(tmp.path() / "startup.log.1"), 7u);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AppLogRotation,
                         ::testing::Values(RotationCase{1'000'001, true}, RotationCase{1'000'000, false},
                                           RotationCase{0, false}));

// Permission bits do not stop root, so the unusable folder is a file in its place.
TEST(AppLog, FolderThatCannotBeCreatedGivesTheCreateErrorText) {
  TempDir tmp;
  fs::path blocker = tmp.path() / "logs";
  {
    std::ofstream(blocker) << "not a folder";
  }
  auto log = logIn(blocker / "inner");
  auto written = log.write("x");
  ASSERT_FALSE(written);
  EXPECT_TRUE(written.error().starts_with("Не удалось создать папку журналов: ")) << written.error();
}

TEST(AppLog, UnwritableLogFileGivesTheOpenErrorText) {
  TempDir tmp;
  // A folder where startup.log should be: opening it for append fails even for root.
  fs::create_directories(tmp.path() / "startup.log");
  auto written = logIn(tmp.path()).write("x");
  ASSERT_FALSE(written);
  EXPECT_TRUE(written.error().starts_with("Не удалось открыть журнал: ")) << written.error();
}

TEST(AppLog, FolderThatCannotBeDeterminedIsReported) {
  AppLog log([]() -> Result<fs::path> { return fail("no home"); });
  EXPECT_EQ(log.write("x").error(), "Не удалось определить папку журналов: no home");
  EXPECT_EQ(log.path().error(), "Не удалось определить папку журналов: no home");
}

TEST(AppLog, PathCreatesNothing) {
  TempDir tmp;
  ScopedEnv data("XDG_DATA_HOME", (tmp.path() / "fresh").string());
  auto path = AppLog(defaultLogFolder).path();
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, tmp.path() / "fresh" / "com.quennix.zorvik-mobile" / "logs" / "startup.log");
  EXPECT_FALSE(fs::exists(tmp.path() / "fresh"));
}

TEST(AppLog, StampIsUtcAndClampsBeforeTheEpoch) {
  using namespace std::chrono;
  EXPECT_EQ(utcStamp(system_clock::time_point(seconds(0))), "1970-01-01 00:00:00");
  EXPECT_EQ(utcStamp(system_clock::time_point(seconds(-5))), "1970-01-01 00:00:00");
  EXPECT_EQ(utcStamp(system_clock::time_point(seconds(1'796'904'000))), "2026-12-10 12:00:00");
}

}  // namespace
}  // namespace zorvik::log
