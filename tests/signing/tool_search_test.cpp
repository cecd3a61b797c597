#include <gtest/gtest.h>

#include <algorithm>

#include "signing/crypto_status.hpp"
#include "standin_env.hpp"

namespace zorvik::signing::test {
namespace {

TEST(ToolSearch, OverrideFoldersAndSorting) {
  EXPECT_EQ(overrideFolders("/D/CP"), (std::vector<fs::path>{"/D/CP", "/D/CP/CSP", "/D/CP/cryptcp", "/D/CP/bin",
                                                             "/D/CP/SDK", "/D/CP/CAdES"}));
  // Component by component: "/a/b" comes before "/a-b" although '-' < '/'.
  EXPECT_EQ(sortedUnique({"/usr/bin", "/a-b", "/a/b", "/usr/bin", "/a", "/opt/x/y", "/opt/x"}),
            (std::vector<fs::path>{"/a", "/a/b", "/a-b", "/opt/x", "/opt/x/y", "/usr/bin"}));
}

TEST(ToolSearch, FirstPassThenOneFolderDown) {
  testing::TempDir dir;
  const auto a = dir.path() / "a", b = dir.path() / "b";
  fs::create_directories(a / "5.0" / "nested");
  fs::create_directories(b);
  // Only directly in a candidate, or one level below; deeper, a folder or a link to a folder do not count.
  writeText(a / "5.0" / "nested" / "certmgr", "");
  fs::create_directories(b / "certmgr");
  EXPECT_EQ(findToolIn({a, b}, "certmgr"), std::nullopt);

  writeText(a / "5.0" / "certmgr", "");
  EXPECT_EQ(findToolIn({a, b}, "certmgr"), a / "5.0" / "certmgr");
  // The first pass wins over a lower folder of an earlier candidate.
  writeText(b / "certmgr.bin", "");
  fs::remove(b / "certmgr");
  writeText(b / "certmgr", "");
  EXPECT_EQ(findToolIn({a, b}, "certmgr"), b / "certmgr");

  const auto linked = dir.path() / "linked";
  fs::create_directories(linked);
  fs::create_directory_symlink(a / "5.0", linked / "link");
  EXPECT_EQ(findToolIn({linked, dir.path() / "missing"}, "certmgr"), std::nullopt);
  // A link to a file is fine: that is how tools are usually put on PATH.
  fs::create_symlink(b / "certmgr", linked / "certmgr");
  EXPECT_EQ(findToolIn({linked}, "certmgr"), linked / "certmgr");
}

using CryptoCommands = StandInTest;

TEST_F(CryptoCommands, NoToolsAnywhere) {
  testing::ScopedEnv noTools("PATH", "/zz/none:/usr/bin:/zz/none");
  resetDefaultFolders();
  auto status = call("crypto_available");
  ASSERT_TRUE(status) << status.error();
  const Json expected = {{"available", false},
                         {"certmgrPath", nullptr},
                         {"cryptcpPath", nullptr},
                         {"version", nullptr},
                         {"searched",
                          {"/opt/cprocsp/bin", "/opt/cprocsp/bin/amd64", "/opt/cprocsp/sbin",
                           "/opt/cprocsp/sbin/amd64", "/usr/bin", "/zz/none"}},
                         {"csptestPath", nullptr}};
  EXPECT_EQ(*status, expected);
  EXPECT_EQ(*call("set_crypto_dir", {{"path", nullptr}}), expected);
  EXPECT_EQ(call("crypto_diagnose")->get<std::string>(),
            "Утилита подписи не найдена\n\n─── certmgr -list ───\n\ncertmgr не найден");
}

TEST_F(CryptoCommands, WhichToolsAreFound) {
  struct Case {
    std::vector<std::string_view> tools;
    bool available;
  };
  const Case cases[] = {
      {{"certmgr", "csptest"}, true},
      {{"certmgr", "cryptcp", "csptest"}, true},
      {{"certmgr"}, false},
      {{"cryptcp", "csptest"}, false},
  };
  for (const auto& c : cases) {
    const auto folder = tmp.path() / ("tools-" + std::to_string(c.tools.size()) + std::string(c.tools[0]));
    for (auto name : c.tools) placeStandIn(folder, name);
    auto status = call("set_crypto_dir", {{"path", "  " + folder.string() + "\t"}});
    ASSERT_TRUE(status) << status.error();
    auto has = [&](std::string_view name) { return std::ranges::find(c.tools, name) != c.tools.end(); };
    auto pathOf = [&](std::string_view name) { return has(name) ? Json((folder / name).string()) : Json(nullptr); };
    EXPECT_EQ((*status)["available"], c.available) << folder;
    EXPECT_EQ((*status)["certmgrPath"], pathOf("certmgr")) << folder;
    EXPECT_EQ((*status)["cryptcpPath"], pathOf("cryptcp")) << folder;
    EXPECT_EQ((*status)["csptestPath"], pathOf("csptest")) << folder;
    EXPECT_EQ((*status)["version"],
              has("certmgr") ? Json("Certificate manager stand-in 5.0.0 for tests") : Json(nullptr));
    // The override's six folders come first, then the default list.
    auto searched = (*status)["searched"];
    ASSERT_EQ(searched.size(), 6u + defaultFolders().size());
    EXPECT_EQ(searched[0], folder.string());
    EXPECT_EQ(searched[5], (folder / "CAdES").string());
    EXPECT_EQ(std::vector<fs::path>(searched.begin() + 6, searched.end()), defaultFolders());
    if (has("cryptcp") || has("csptest")) {
      EXPECT_EQ(chooseSigner()->tool, has("cryptcp") ? kCryptcp : kCsptest);
    }
  }
  // Blanks clear the override.
  auto cleared = call("set_crypto_dir", {{"path", " \t "}});
  ASSERT_TRUE(cleared);
  EXPECT_EQ(folderOverride(), std::nullopt);
  EXPECT_EQ((*cleared)["searched"].size(), defaultFolders().size());
  EXPECT_EQ((*cleared)["available"], false);
}

TEST_F(CryptoCommands, ToolsInAVersionedSubfolderOfTheOverride) {
  placeStandIn(tools / "bin" / "5.0.13000", "certmgr");
  placeStandIn(tools / "CSP", "cryptcp");
  setFolderOverride(tools);
  auto status = call("crypto_available");
  ASSERT_TRUE(status);
  EXPECT_EQ((*status)["certmgrPath"], (tools / "bin" / "5.0.13000" / "certmgr").string());
  EXPECT_EQ((*status)["cryptcpPath"], (tools / "CSP" / "cryptcp").string());
  EXPECT_EQ((*status)["available"], true);
}

TEST_F(CryptoCommands, VersionIsTheFirstLineOfTheListing) {
  useTools({"certmgr", "cryptcp"});
  struct Case {
    const char* lang;
    const char* charset;
    Json version;
  };
  const Case cases[] = {
      {"ru", "cp866", "Менеджер сертификатов (заменитель для тестов) 5.0.0"},
      {"ru", "utf-8", "Менеджер сертификатов (заменитель для тестов) 5.0.0"},
      {"en", "cp1251", "Certificate manager stand-in 5.0.0 for tests"},
  };
  for (const auto& c : cases) {
    testing::ScopedEnv lang("ZORVIK_STANDIN_LANG", c.lang);
    testing::ScopedEnv charset("ZORVIK_STANDIN_CHARSET", c.charset);
    EXPECT_EQ((*call("crypto_available"))["version"], c.version) << c.lang << c.charset;
  }
  // A tool that prints nothing, or cannot be run, has no version; the tools still count.
  testing::ScopedEnv failing("ZORVIK_STANDIN_FAIL", "certmgr");
  auto status = call("crypto_available");
  EXPECT_EQ((*status)["version"], nullptr);
  EXPECT_EQ((*status)["available"], true);
  fs::remove(tools / "certmgr");
  writeText(tools / "certmgr", "not a program");
  status = call("crypto_available");
  EXPECT_EQ((*status)["version"], nullptr);
  EXPECT_EQ((*status)["available"], true);
}

TEST_F(CryptoCommands, DiagnoseReport) {
  useTools({"certmgr", "csptest"});
  auto report = call("crypto_diagnose");
  ASSERT_TRUE(report) << report.error();
  const std::string usage =
      "csptest -sfsign [options]\n"
      "  -sign             sign the file\n"
      "  -detached         detached signature\n"
      "  -add              add the signer's certificate\n"
      "  -in <file>  -out <file>\n"
      "  -thumbprint <sha1> certificate by its SHA1 thumbprint";
  const std::string head = "csptest — " + (tools / "csptest").string() + "\n\n" + usage +
                           "\n\n─── certmgr -list ───\n\nCertificate manager stand-in 5.0.0 for tests\n";
  EXPECT_EQ(report->get<std::string>().substr(0, head.size()), head);
  EXPECT_TRUE(report->get<std::string>().ends_with("[ErrorCode: 0x00000000]"));
  // The runs leave their output files in the temporary folder.
  EXPECT_TRUE(fs::exists(temp / "cryptcp.out"));

  // Failures and silence are folded into the text.
  placeStandIn(tools, "cryptcp");
  testing::ScopedEnv failing("ZORVIK_STANDIN_FAIL", "cryptcp,certmgr");
  EXPECT_EQ(call("crypto_diagnose")->get<std::string>(),
            "cryptcp — " + (tools / "cryptcp").string() +
                "\n\nутилита ничего не ответила\n\n─── certmgr -list ───\n\ncertmgr ничего не вывел");
  testing::ScopedEnv text("ZORVIK_STANDIN_FAIL_TEXT", "Ошибка: нет лицензии");
  testing::ScopedEnv charset("ZORVIK_STANDIN_CHARSET", "cp866");
  EXPECT_EQ(call("crypto_diagnose")->get<std::string>(),
            "cryptcp — " + (tools / "cryptcp").string() +
                "\n\nОшибка: нет лицензии\n\n─── certmgr -list ───\n\nОшибка: нет лицензии");
  // The output files cannot be made: the run's own message.
  fs::remove(temp / "cryptcp.out");
  fs::create_directory(temp / "cryptcp.out");
  auto blocked = call("crypto_diagnose")->get<std::string>();
  EXPECT_TRUE(blocked.starts_with("cryptcp — " + (tools / "cryptcp").string() +
                                  "\n\nНе удалось получить справку: Не удалось создать временный файл: "))
      << blocked;
  EXPECT_TRUE(blocked.ends_with("\n\n─── certmgr -list ───\n\nНе удалось получить список: Не удалось создать "
                                "временный файл: Is a directory"))
      << blocked;
}

}  // namespace
}  // namespace zorvik::signing::test
