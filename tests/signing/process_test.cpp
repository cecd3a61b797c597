#include "platform/process.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "test_env.hpp"

namespace zorvik::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(Process, CapturedRunKeepsBothStreamsAndTheExitCode) {
  // stdin is the null device: cat ends at once instead of waiting.
  auto run = runCaptured("/bin/sh", {"-c", "cat; printf 'out'; printf 'err' >&2; exit 3"});
  ASSERT_TRUE(run) << run.error();
  EXPECT_EQ(run->exitCode, 3);
  EXPECT_EQ(text(run->out), "out");
  EXPECT_EQ(text(run->err), "err");

  // Far more than a pipe holds on both streams at once.
  auto big = runCaptured("/bin/sh", {"-c", "head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2"});
  ASSERT_TRUE(big) << big.error();
  EXPECT_EQ(big->out.size(), 300000u);
  EXPECT_EQ(big->err.size(), 200000u);

  // Arguments are passed as they are, without a shell.
  auto args = runCaptured("/bin/echo", {"a b", "$HOME", "'q'"});
  ASSERT_TRUE(args);
  EXPECT_EQ(text(args->out), "a b $HOME 'q'\n");

  auto missing = runCaptured("/no/such/tool", {});
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "No such file or directory");
}

TEST(Process, ChildWritesIntoOutputFilesInItsFolder) {
  testing::TempDir dir;
  auto out = OutputFile::create(dir.path() / "o.txt");
  auto err = OutputFile::create(dir.path() / "e.txt");
  ASSERT_TRUE(out && err);
  auto child = ChildProcess::start(
      {"/bin/sh", {"-c", "pwd -P; tty >&2; kill -s INT $$; echo after"}, dir.path(), &*out, &*err});
  ASSERT_TRUE(child) << child.error();
  ASSERT_TRUE(child->waitFor(10s));
  auto code = child->poll();
  ASSERT_TRUE(code && *code);
  // No terminal, and SIGINT has its default action even if the host ignores it.
  EXPECT_EQ(**code, 128 + SIGINT);
  EXPECT_EQ(text(out->readAll()), fs::canonical(dir.path()).string() + "\n");
  EXPECT_EQ(text(err->readAll()), "not a tty\n");
}

TEST(Process, TerminateEndsTheChildAndWhatItStarted) {
  testing::TempDir dir;
  const auto marker = dir.path() / "grandchild.pid";
  auto child = ChildProcess::start({"/bin/sh", {"-c", "sleep 300 & echo $! > " + marker.string() + "; wait"}});
  ASSERT_TRUE(child);
  // Wait until the grandchild exists, then end the group.
  std::error_code ec;
  ASSERT_TRUE(testing::eventually([&] { return fs::file_size(marker, ec) > 0 && !ec; }));
  auto pollBefore = child->poll();
  ASSERT_TRUE(pollBefore);
  EXPECT_FALSE(*pollBefore);
  ASSERT_TRUE(child->terminate());
  ASSERT_TRUE(child->waitFor(10s));
  EXPECT_EQ(**child->poll(), 128 + SIGKILL);
  EXPECT_TRUE(child->terminate());  // already ended: not an error

  std::ifstream pidFile(marker);
  long grandchild = 0;
  pidFile >> grandchild;
  ASSERT_GT(grandchild, 0);
  // Reaped by init once killed; until then it may linger as a zombie.
  EXPECT_TRUE(testing::eventually([&] {
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string pid, name, state;
    return !(stat >> pid >> name >> state) || state == "Z";
  }));
}

TEST(Process, DroppingARunningChildEndsIt) {
  long pid = 0;
  {
    testing::TempDir dir;
    auto out = OutputFile::create(dir.path() / "pid");
    auto child = ChildProcess::start({"/bin/sh", {"-c", "echo $$; exec sleep 300"}, {}, &*out, nullptr});
    ASSERT_TRUE(child);
    ASSERT_TRUE(testing::eventually([&] { return !out->readAll().empty(); }));
    pid = std::stol(text(out->readAll()));
  }
  EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid)));
}

TEST(Process, OutputFileIsNeverReachedThroughALink) {
  testing::TempDir dir;
  const auto victim = dir.path() / "victim";
  std::ofstream(victim) << "keep";
  fs::create_symlink(victim, dir.path() / "cryptcp.out");
  EXPECT_FALSE(OutputFile::create(dir.path() / "cryptcp.out"));
  std::ifstream in(victim);
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "keep");
  // An existing file is truncated.
  std::ofstream(dir.path() / "old") << "old text";
  auto file = OutputFile::create(dir.path() / "old");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->readAll().empty());
  EXPECT_FALSE(OutputFile::create(dir.path() / "missing" / "x"));
}

TEST(Process, ProgramSearchPathSkipsEmptyEntries) {
  testing::ScopedEnv path("PATH", "/a::/b/c:");
  EXPECT_EQ(programSearchPath(), (std::vector<fs::path>{"/a", "/b/c"}));
  testing::ScopedEnv none("PATH", std::nullopt);
  EXPECT_TRUE(programSearchPath().empty());
}

}  // namespace
}  // namespace zorvik::platform
