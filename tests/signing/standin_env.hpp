// Runs the host's signing commands against the stand-in tools of
// tests/fixtures/signing: a private temporary folder, a tool folder holding
// the chosen stand-ins as the folder override, and a controlled PATH.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/config.hpp"
#include "bridge/dispatcher.hpp"
#include "commands/command_set.hpp"
#include "core/bytes.hpp"
#include "host_context.hpp"
#include "platform/process.hpp"
#include "signing/signer.hpp"
#include "signing/tool_search.hpp"
#include "test_env.hpp"

namespace zorvik::signing::test {

namespace fs = std::filesystem;

inline const fs::path kFixtures = fs::path(ZORVIK_TEST_FIXTURES) / "signing";
inline const fs::path kStandIns = kFixtures / "tools";
inline const fs::path kCa = kFixtures / "store" / "ca.pem";

// Thumbprints of the committed store.
inline constexpr const char* kOrganisation = "593d72a47d51b64703e8d730f7a5859ce2ba45c2";
inline constexpr const char* kPerson = "be8bd9bd0692e5850e380fe5c71cd6157b778238";
inline constexpr const char* kNoKey = "d43e911bc773b0cc8bfdccf477050b090b275bac";

inline std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeText(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Makes `folder`/`name` a link to the stand-in of that name.
inline void placeStandIn(const fs::path& folder, std::string_view name) {
  fs::create_directories(folder);
  fs::create_symlink(kStandIns / name, folder / name);
}

class StandInTest : public ::testing::Test {
 protected:
  testing::TempDir tmp;
  // A temporary folder of our own: per-signature folders and the option runs land here.
  fs::path temp = tmp.path() / "temp";
  fs::path tools = tmp.path() / "tools";
  fs::path runLogFile = tmp.path() / "runs.log";
  testing::ScopedEnv tmpdir{"TMPDIR", temp.string()};
  testing::ScopedEnv path{"PATH", "/usr/bin:/bin"};
  testing::ScopedEnv runLog{"ZORVIK_STANDIN_LOG", runLogFile.string()};

  app::Config config = *app::buildConfig();
  log::AppLog appLog{[dir = tmp.path()]() -> Result<fs::path> { return dir / "logs"; }};
  HostContext ctx{config, appLog, nullptr};
  bridge::CommandTable table = commands::buildCommandTable();
  bridge::Dispatcher dispatcher{table, config.permissions, ctx, nullptr, nullptr};

  void SetUp() override {
    fs::create_directories(temp);
    resetDefaultFolders();
    resetCsptestOptions();
  }
  void TearDown() override {
    setFolderOverride(std::nullopt);
    resetDefaultFolders();
    resetCsptestOptions();
  }

  // Puts the named stand-ins into the tool folder and makes it the override.
  void useTools(std::initializer_list<std::string_view> names) {
    fs::create_directories(tools);
    for (auto name : names) placeStandIn(tools, name);
    setFolderOverride(tools);
  }

  Result<Json> call(std::string_view name, const Json& args = Json::object()) {
    auto reply = dispatcher.call(name, args);
    if (!reply) return fail(reply.error());
    return std::get<Json>(reply->body);
  }

  // Each line of the run log: the tool's name, then its arguments.
  std::vector<std::vector<std::string>> runs() const {
    std::vector<std::vector<std::string>> result;
    std::istringstream lines(readText(runLogFile));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::size_t start = 0;
      for (;;) {
        auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
      }
      result.push_back(std::move(fields));
    }
    return result;
  }

  // Per-signature folders still in the temporary folder.
  std::vector<fs::path> leftSignFolders() const {
    std::vector<fs::path> left;
    for (const auto& e : fs::directory_iterator(temp))
      if (e.path().filename().string().starts_with("zorvik-sign-")) left.push_back(e.path());
    return left;
  }
};

// `openssl cms -verify` of a DER signature against the test CA; the content
// it printed, or the error output.
inline Result<std::string> verifySignature(const Bytes& der, const fs::path& work,
                                           const std::optional<fs::path>& content = std::nullopt) {
  auto sig = work / "verify.der";
  writeText(sig, std::string_view(reinterpret_cast<const char*>(der.data()), der.size()));
  std::vector<std::string> args = {"cms", "-verify", "-binary", "-inform", "DER", "-in", sig.string(),
                                   "-CAfile", kCa.string()};
  if (content) args.insert(args.end(), {"-content", content->string()});
  auto run = platform::runCaptured("/usr/bin/openssl", args);
  if (!run) return fail(run.error());
  std::string out(run->out.begin(), run->out.end());
  if (run->exitCode != 0) return fail(std::string(run->err.begin(), run->err.end()));
  return out;
}

}  // namespace zorvik::signing::test
