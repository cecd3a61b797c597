// The Windows backend under Wine: file names beyond the ANSI code page and
// the 260-character limit, child processes in job objects, the single
// instance between two processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/utf8_path.hpp"
#include "fetch/downloads.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "platform/single_instance.hpp"
#include "platform/windows/win32.hpp"
#include "services/store_registry.hpp"
#include "test_env.hpp"

namespace zorvik {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::TempDir;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Letters, digits, spaces and hyphens only: cleanFileName keeps the name as it is.
constexpr std::string_view kCyrillicName = "Этикетка заказа 5 - Ёлка.pdf";

TEST(WindowsFiles, ACyrillicNameSurvivesSaveDownload) {
  TempDir dir;
  const Bytes data{'%', 'P', 'D', 'F', '-', '1', '.', '4'};
  auto saved = fetch::saveBytes(dir.path(), kCyrillicName, data);
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(utf8Text(saved->filename()), kCyrillicName);
  EXPECT_EQ(readAll(*saved), "%PDF-1.4");
  // The page is told the path in UTF-8, and the folder really holds that name.
  EXPECT_TRUE(fetch::pathText(*saved).ends_with(kCyrillicName));
  EXPECT_TRUE(fs::exists(dir.path() / pathFromUtf8(kCyrillicName)));

  // A second file of the same name gets the next free one.
  auto again = fetch::saveBytes(dir.path(), kCyrillicName, data);
  ASSERT_TRUE(again) << again.error();
  EXPECT_EQ(utf8Text(again->filename()), "Этикетка заказа 5 - Ёлка (2).pdf");
}

TEST(WindowsFiles, ACyrillicStoreNameSurvivesTheStore) {
  TempDir dir;
  const std::string name = "настройки-склада.dat";
  {
    services::StoreRegistry stores([&]() -> Result<fs::path> { return dir.path(); });
    auto rid = stores.load(name, Json::object());
    ASSERT_TRUE(rid) << rid.error();
    auto store = stores.get(*rid);
    ASSERT_TRUE(store) << store.error();
    ASSERT_TRUE((*store)->set("ячейка", "А-12"));
    ASSERT_TRUE((*store)->save());
  }
  EXPECT_TRUE(fs::exists(dir.path() / pathFromUtf8(name)));
  services::StoreRegistry reopened([&]() -> Result<fs::path> { return dir.path(); });
  auto rid = reopened.load(name, Json::object());
  ASSERT_TRUE(rid) << rid.error();
  auto store = reopened.get(*rid);
  ASSERT_TRUE(store) << store.error();
  EXPECT_EQ((*store)->get("ячейка"), std::optional<Json>(Json("А-12")));
}

TEST(WindowsFiles, AtomicReplaceWorksPastTheOldPathLimit) {
  TempDir dir;
  fs::path deep = dir.path();
  for (int i = 0; i < 6; ++i) deep /= pathFromUtf8(std::string(40, 'a' + i) + "-папка");
  ASSERT_TRUE(utf8Text(deep).size() > 260);
  std::error_code ec;
  fs::create_directories(deep, ec);
  ASSERT_FALSE(ec) << ec.message();
  const fs::path target = deep / pathFromUtf8("данные.json");
  ASSERT_TRUE(platform::writeFileAtomically(target, "first", false));
  ASSERT_TRUE(platform::writeFileAtomically(target, "second", true));
  auto read = platform::readExistingFile(target);
  ASSERT_TRUE(read) << read.error();
  ASSERT_TRUE(read->has_value());
  EXPECT_EQ(**read, "second");

  auto staged = platform::StagedFile::write(deep, "third", false);
  ASSERT_TRUE(staged) << staged.error();
  auto refused = staged->place(target, false);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), platform::StagedFile::alreadyExists());
  EXPECT_TRUE(staged->place(target, true));
  EXPECT_EQ(**platform::readExistingFile(target), "third");
}

// A stand-in tool as a batch file: echoes its arguments, writes to both
// streams and ends with the code it is given.
fs::path writeTool(const fs::path& dir, const std::string& body) {
  const fs::path tool = dir / "tool.cmd";
  std::ofstream(tool, std::ios::binary) << "@echo off\r\n" << body;
  return tool;
}

TEST(WindowsProcess, ABatchToolGetsItsArgumentsAndItsOutputAndCodeComeBack) {
  TempDir dir;
  const fs::path tool = writeTool(dir.path(), "echo out %1 %2\r\necho err 1>&2\r\nexit /b 3\r\n");
  auto run = platform::runCaptured(tool, {"-sign", "C:\\data dir\\in.bin"});
  ASSERT_TRUE(run) << run.error();
  EXPECT_EQ(run->exitCode, 3);
  const std::string out(run->out.begin(), run->out.end());
  EXPECT_NE(out.find("out -sign \"C:\\data dir\\in.bin\""), std::string::npos) << out;
  const std::string err(run->err.begin(), run->err.end());
  EXPECT_NE(err.find("err"), std::string::npos) << err;
}

TEST(WindowsProcess, EndingAChildEndsWhatItStartedAndTheCodeIsRead) {
  TempDir dir;
  // The tool starts a long-lived program of its own and waits for it.
  const fs::path tool = writeTool(dir.path(), "ping -n 600 127.0.0.1 >NUL\r\n");
  auto out = platform::OutputFile::create(dir.path() / "out.txt");
  ASSERT_TRUE(out) << out.error();
  auto child = platform::ChildProcess::start({tool, {}, {}, &*out, nullptr});
  ASSERT_TRUE(child) << child.error();
  EXPECT_FALSE(child->waitFor(std::chrono::milliseconds(300)));
  ASSERT_TRUE(child->terminate());
  ASSERT_TRUE(child->waitFor(std::chrono::seconds(30)));
  auto code = child->poll();
  ASSERT_TRUE(code && code->has_value());
  EXPECT_NE(**code, 0);
}

// ---- Single instance between processes ------------------------------------------------

constexpr const char* kId = "com.example.zorvik-windows-instance-test";

fs::path claimer() {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / ZORVIK_CLAIMER;
}

std::string text(const platform::OutputFile& file) {
  auto bytes = file.readAll();
  return std::string(bytes.begin(), bytes.end());
}

TEST(WindowsSingleInstance, ASecondProcessHandsItsArgumentsToTheFirst) {
  auto first = platform::claimInstance(kId, {{}, "C:\\"});
  ASSERT_TRUE(first) << first.error();
  ASSERT_TRUE(first->primary);
  std::optional<platform::Launch> received;
  first->primary->listen([&](platform::Launch l) { received = std::move(l); });

  TempDir dir;
  auto out = platform::OutputFile::create(dir.path() / "second.txt");
  ASSERT_TRUE(out);
  auto second =
      platform::ChildProcess::start({claimer(), {kId, "forward", "tsd-auth://pin/1234", "заказ 5"}, {}, &*out, nullptr});
  ASSERT_TRUE(second) << second.error();
  // This thread's message loop is where the launch arrives.
  ASSERT_TRUE(eventually([&] {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    return received.has_value();
  }));
  EXPECT_EQ(received->args, (std::vector<std::string>{"tsd-auth://pin/1234", "заказ 5"}));
  EXPECT_EQ(received->cwd, "C:\\");
  ASSERT_TRUE(second->waitFor(std::chrono::seconds(30)));
  EXPECT_EQ(**second->poll(), 0);
  EXPECT_TRUE(text(*out).starts_with("forwarded")) << text(*out);
}

TEST(WindowsSingleInstance, AFirstInstanceKilledHardDoesNotBlockTheNextStart) {
  TempDir dir;
  auto out = platform::OutputFile::create(dir.path() / "first.txt");
  ASSERT_TRUE(out);
  auto first = platform::ChildProcess::start({claimer(), {kId, "hold"}, {}, &*out, nullptr});
  ASSERT_TRUE(first) << first.error();
  ASSERT_TRUE(eventually([&] { return text(*out).starts_with("primary"); })) << text(*out);

  // While it lives, a launch goes to it.
  auto forwarded = platform::claimInstance(kId, {{"to-the-first"}, "C:\\"});
  ASSERT_TRUE(forwarded) << forwarded.error();
  EXPECT_TRUE(forwarded->forwarded);
  ASSERT_TRUE(eventually([&] { return text(*out).find("launch to-the-first") != std::string::npos; }));

  // Killed without a chance to clean up: the next start is the first again.
  ASSERT_TRUE(first->terminate());
  ASSERT_TRUE(first->waitFor(std::chrono::seconds(30)));
  auto next = platform::claimInstance(kId, {{}, "C:\\"});
  ASSERT_TRUE(next) << next.error();
  EXPECT_FALSE(next->forwarded);
  EXPECT_TRUE(next->primary);
}

}  // namespace
}  // namespace zorvik
