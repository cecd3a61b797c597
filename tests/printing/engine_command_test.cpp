// check_print_engine through the app itself (`zorvik --invoke`), in the build
// folder beside the engine library and in a folder without it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "platform/paths.hpp"
#include "test_env.hpp"

namespace zorvik::printing {
namespace {

namespace fs = std::filesystem;

struct Invocation {
  int exitCode;
  std::string output;  // stdout and stderr
};

Invocation invoke(const fs::path& app) {
  std::string command = "'" + app.string() + "' --invoke check_print_engine '{}' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string output;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) output.append(buf, n);
  int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(EngineCommandTest, ReadyBesideTheLibraryAndExplainedWithoutIt) {
  fs::path build = *platform::executableDir();
  Invocation ready = invoke(build / "zorvik");
  EXPECT_EQ(ready.exitCode, 0) << ready.output;
  EXPECT_TRUE(ready.output.starts_with("\"Всё готово к печати.\\nСистема: ")) << ready.output;
  EXPECT_NE(ready.output.find("\\nБиблиотека печати: " + (build / "libpdfium.so").string() + "\""), std::string::npos)
      << ready.output;

  testing::TempDir exe;
  fs::copy_file(build / "zorvik", exe.path() / "zorvik");
  Invocation missing = invoke(exe.path() / "zorvik");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.output.starts_with("Не найдена библиотека печати libpdfium.so")) << missing.output;
  EXPECT_NE(missing.output.find("• " + (exe.path() / "libpdfium.so").string() + " — файла нет"), std::string::npos)
      << missing.output;

  fs::create_directories(exe.path() / "resources");
  fs::copy_file(build / "libpdfium.so", exe.path() / "resources/libpdfium.so");
  Invocation installed = invoke(exe.path() / "zorvik");
  EXPECT_EQ(installed.exitCode, 0) << installed.output;
  EXPECT_NE(installed.output.find("Библиотека печати: " + (exe.path() / "resources/libpdfium.so").string()),
            std::string::npos)
      << installed.output;
}

}  // namespace
}  // namespace zorvik::printing
