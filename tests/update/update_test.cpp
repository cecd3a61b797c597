// The updater against a real download: a small HTTP server serves the manifest
// and bundles made here, signed by keys the signature tool makes for the run.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "fetch/fetcher.hpp"
#include "test_server.hpp"
#include "update/bundle.hpp"
#include "update/installer.hpp"
#include "update/manifest.hpp"
#include "update/signature.hpp"
#include "update/updater.hpp"

namespace fs = std::filesystem;
using namespace zorvik;
using namespace zorvik::update;

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::string& text, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
  fs::permissions(p, perms);
}

std::string base64Of(const std::string& bytes) {
  static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned n = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
    out += {a[n >> 18 & 63], a[n >> 12 & 63], a[n >> 6 & 63], a[n & 63]};
  }
  if (i + 1 == bytes.size()) {
    unsigned n = (unsigned char)bytes[i] << 16;
    out += {a[n >> 18 & 63], a[n >> 12 & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    unsigned n = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8;
    out += {a[n >> 18 & 63], a[n >> 12 & 63], a[n >> 6 & 63], '='};
  }
  return out;
}

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

// One archive entry as the test wants it written, however unsafe.
struct Entry {
  std::string name;
  std::string body;             // regular file
  std::string symlink;          // a symbolic link to this
  std::string hardlink;         // a hard link to this
  bool directory = false;
  int mode = 0644;
};

void writeArchive(const fs::path& path, const std::vector<Entry>& entries) {
  archive* a = archive_write_new();
  archive_write_add_filter_gzip(a);
  archive_write_set_format_pax_restricted(a);
  ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const auto& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_perm(entry, e.mode);
    if (e.directory) {
      archive_entry_set_filetype(entry, AE_IFDIR);
    } else if (!e.symlink.empty()) {
      archive_entry_set_filetype(entry, AE_IFLNK);
      archive_entry_set_symlink(entry, e.symlink.c_str());
    } else if (!e.hardlink.empty()) {
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_hardlink(entry, e.hardlink.c_str());
    } else {
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_size(entry, static_cast<la_int64_t>(e.body.size()));
    }
    archive_write_header(a, entry);
    if (!e.body.empty()) archive_write_data(a, e.body.data(), e.body.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

const std::string kNewProgram = "#!/bin/sh\necho new\n";
const std::string kOldProgram = "#!/bin/sh\necho old\n";

std::vector<Entry> goodBundle() {
  return {{.name = "zorvik-0.70.0", .directory = true, .mode = 0755},
          {.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
          {.name = "zorvik-0.70.0/libpdfium.so", .body = "engine"},
          {.name = "zorvik-0.70.0/lib", .directory = true, .mode = 0755},
          {.name = "zorvik-0.70.0/lib/engine.so", .symlink = "../libpdfium.so"}};
}

class UpdaterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = new fs::path(fs::temp_directory_path() / ("zorvik-update-keys-" + std::to_string(std::random_device{}())));
    fs::create_directories(*keys_);
    for (const char* k : {"a", "b"})
      run(std::string(ZORVIK_MINISIGN) + " -G -W -p " + (*keys_ / k).string() + ".pub -s " + (*keys_ / k).string() +
          ".key >/dev/null 2>&1");
  }
  static void TearDownTestSuite() {
    fs::remove_all(*keys_);
    delete keys_;
  }

  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zorvik-update-" + std::to_string(std::random_device{}()));
    root_ = dir_ / "app";
    writeFile(root_ / "versions" / "0.66.2" / "zorvik", kOldProgram, fs::perms::owner_all);
    fs::create_directory_symlink("versions/0.66.2", root_ / "current");
    fs::create_directories(dir_ / "downloads");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Signs `file` with key `key` ("a" is the trusted one); answers Base64 of the signature file.
  std::string sign(const fs::path& file, const char* key = "a", const std::string& comment = "zorvik 0.70.0 linux-x86_64") {
    fs::path sig = file.string() + ".minisig";
    run(std::string(ZORVIK_MINISIGN) + " -S -s " + (*keys_ / key).string() + ".key -m " + file.string() + " -x " +
        sig.string() + " -t '" + comment + "' >/dev/null 2>&1");
    return base64Of(readFile(sig));
  }

  // Serves `bundle` with `signature` as version 0.70.0 and runs check, download and install.
  Status update(const fs::path& bundle, const std::string& signature, std::vector<DownloadEvent>* events = nullptr,
                zorvik::testing::Canned bundleResponse = {}) {
    zorvik::testing::TestServer server;
    bundleResponse.body = readFile(bundle);
    bundleResponse.contentType = "application/gzip";
    server.route("/b.tar.gz", bundleResponse);
    Json manifest = {{"version", "0.70.0"},
                     {"notes", "Что нового"},
                     {"platforms", {{"linux-x86_64", {{"url", server.base() + "/b.tar.gz"}, {"signature", signature}}}}}};
    server.route("/latest-linux-x86_64.json", {.body = manifest.dump(), .contentType = "application/json"});
    fetch::Fetcher fetcher({{"127.0.0.1"}, {}, std::nullopt});
    Updater updater(settings(server.base()), fetcher);
    auto found = updater.check();
    if (!found) return fail(found.error());
    if (!*found) return fail("no update found");
    EXPECT_EQ((*found)->version, "0.70.0");
    EXPECT_EQ((*found)->notes, "Что нового");
    return updater.downloadAndInstall([events](const DownloadEvent& e) {
      if (events) events->push_back(e);
    });
  }

  UpdaterSettings settings(const std::string& base) {
    UpdaterSettings s;
    s.endpoint = base + "/latest-{{target}}-{{arch}}.json";
    s.publicKey = base64Of(readFile(*keys_ / "a.pub"));
    s.target = "linux";
    s.arch = "x86_64";
    s.currentVersion = "0.66.2";
    s.downloadDir = dir_ / "downloads";
    s.layout = [root = root_] { return platform::layoutOf(root / "versions" / "0.66.2" / "zorvik"); };
    s.runningVersionDir = root_ / "versions" / "0.66.2";
    return s;
  }

  std::string runCurrent() {
    std::string out;
    FILE* p = ::popen((root_ / "current" / "zorvik").c_str(), "r");
    char buf[64];
    while (p && std::fgets(buf, sizeof buf, p)) out += buf;
    if (p) ::pclose(p);
    return out;
  }

  // Nothing was installed: the old version is current and runs, nothing else is in versions/, no bundle is left.
  void expectOldVersionIntact() {
    EXPECT_EQ(fs::read_symlink(root_ / "current"), fs::path("versions/0.66.2"));
    EXPECT_EQ(runCurrent(), "old\n");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_ / "versions")) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"0.66.2"});
    EXPECT_TRUE(fs::is_empty(dir_ / "downloads"));
  }

  static fs::path* keys_;
  fs::path dir_;
  fs::path root_;
};

fs::path* UpdaterTest::keys_ = nullptr;

TEST_F(UpdaterTest, InstallsASignedBundleBesideTheRunningVersionAndSwitchesToIt) {
  fs::path bundle = dir_ / "good.tar.gz";
  writeArchive(bundle, goodBundle());
  std::vector<DownloadEvent> events;
  auto done = update(bundle, sign(bundle), &events);
  ASSERT_TRUE(done) << done.error();

  EXPECT_EQ(fs::read_symlink(root_ / "current"), fs::path("versions/0.70.0"));
  EXPECT_EQ(runCurrent(), "new\n");
  EXPECT_EQ(readFile(root_ / "current" / "lib" / "engine.so"), "engine");
  // The running version stays until it ends.
  EXPECT_EQ(readFile(root_ / "versions" / "0.66.2" / "zorvik"), kOldProgram);
  EXPECT_TRUE(fs::is_empty(dir_ / "downloads"));

  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().kind, DownloadEvent::Kind::Started);
  EXPECT_EQ(events.front().contentLength, fs::file_size(bundle));
  EXPECT_EQ(events.back().kind, DownloadEvent::Kind::Finished);
  std::uint64_t received = 0;
  for (const auto& e : events)
    if (e.kind == DownloadEvent::Kind::Progress) received += e.chunkLength;
  EXPECT_EQ(received, fs::file_size(bundle));
}

TEST_F(UpdaterTest, RefusedBundlesInstallNothingAndLeaveTheCurrentVersionRunning) {
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    std::string expected;  // a part of the error
    enum { Good, FlipByte, OtherKey, CutSignature } signing = Good;
    std::string comment = "zorvik 0.70.0 linux-x86_64";  // the signature's trusted comment
  };
  std::vector<Case> cases = {
      {"flipped byte", goodBundle(), "signature verification failed", Case::FlipByte},
      {"another key", goodBundle(), "другим ключом", Case::OtherKey},
      {"cut signature file", goodBundle(), "signature", Case::CutSignature},
      {"dot-dot", {{.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
                   {.name = "zorvik-0.70.0/../../evil", .body = "x"}}, "(..)"},
      {"absolute", {{.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
                    {.name = (fs::temp_directory_path() / "zorvik-evil-abs").string(), .body = "x"}}, "абсолютным путем"},
      {"link out", {{.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
                    {.name = "zorvik-0.70.0/etc", .symlink = "/etc"},
                    {.name = "zorvik-0.70.0/etc/evil", .body = "x"}}, "абсолютный путь"},
      {"link up", {{.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
                   {.name = "zorvik-0.70.0/up", .symlink = "../../.."},
                   {.name = "zorvik-0.70.0/up/evil", .body = "x"}}, "за папку пакета"},
      {"hard link", {{.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
                     {.name = "zorvik-0.70.0/passwd", .hardlink = "/etc/passwd"}}, "жесткая ссылка"},
      {"second top folder", {{.name = "zorvik-0.70.0/zorvik", .body = kNewProgram, .mode = 0755},
                             {.name = "other/zorvik", .body = kNewProgram}}, "вне папки пакета"},
      {"no program", {{.name = "zorvik-0.70.0/readme", .body = "x"}}, "нет программы"},
      {"an old build offered as the new one", goodBundle(),
       "пакет обновления отклонен: сборка подписана как версия 0.0.1, а сервер выдает ее за 0.70.0", Case::Good,
       "zorvik 0.0.1 linux-x86_64"},
      {"the running build offered as the new one", goodBundle(), "подписана как версия 0.66.2", Case::Good,
       "zorvik 0.66.2 linux-x86_64"},
      {"no version in the signature", goodBundle(), "в подписи сборки не указана ее версия", Case::Good,
       "timestamp:1700000000 file:b.tar.gz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path bundle = dir_ / "bundle.tar.gz";
    fs::remove(bundle);
    writeArchive(bundle, c.entries);
    std::string signature = sign(bundle, c.signing == Case::OtherKey ? "b" : "a", c.comment);
    if (c.signing == Case::FlipByte) {
      std::string bytes = readFile(bundle);
      bytes[bytes.size() / 2] ^= 0x01;
      writeFile(bundle, bytes);
    }
    if (c.signing == Case::CutSignature) signature = base64Of(readFile(bundle.string() + ".minisig").substr(0, 120));
    auto done = update(bundle, signature);
    ASSERT_FALSE(done);
    EXPECT_NE(done.error().find(c.expected), std::string::npos) << done.error();
    expectOldVersionIntact();
    EXPECT_FALSE(fs::exists(dir_ / "evil"));
    EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "zorvik-evil-abs"));
  }
}

TEST_F(UpdaterTest, AnInstallClearsWhatAnInstallCutOffByAKillLeftUnpacked) {
  writeFile(root_ / "versions" / ".unpack-1234" / "zorvik-0.70.0" / "zorvik", kNewProgram, fs::perms::owner_all);
  fs::create_directories(root_ / "versions" / ".unpack-77");
  fs::path bundle = dir_ / "good.tar.gz";
  writeArchive(bundle, goodBundle());
  auto done = update(bundle, sign(bundle));
  ASSERT_TRUE(done) << done.error();
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(root_ / "versions")) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"0.66.2", "0.70.0"}));
  EXPECT_EQ(runCurrent(), "new\n");
}

TEST(UpdateInstaller, RemovesOnlyLeftoverUnpackFolders) {
  const fs::path versions = fs::temp_directory_path() / ("zorvik-leftovers-" + std::to_string(std::random_device{}()));
  writeFile(versions / ".unpack-1" / "zorvik-1" / "zorvik", "x");
  writeFile(versions / ".unpack-2" / "half", "x");
  writeFile(versions / "0.66.2" / "zorvik", "x");
  writeFile(versions / "unpack-3" / "zorvik", "x");
  EXPECT_EQ(removeLeftoverUnpacks(versions), 2u);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(versions)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"0.66.2", "unpack-3"}));
  EXPECT_EQ(removeLeftoverUnpacks(versions / "absent"), 0u);
  fs::remove_all(versions);
}

TEST_F(UpdaterTest, ADownloadCutShortInstallsNothing) {
  fs::path bundle = dir_ / "good.tar.gz";
  writeArchive(bundle, goodBundle());
  zorvik::testing::Canned cut;
  cut.truncate = true;
  auto done = update(bundle, sign(bundle), nullptr, cut);
  ASSERT_FALSE(done);
  expectOldVersionIntact();
}

TEST_F(UpdaterTest, DownloadAndInstallNeedTheirStepBefore) {
  zorvik::testing::TestServer server;
  fetch::Fetcher fetcher({{"127.0.0.1"}, {}, std::nullopt});
  Updater updater(settings(server.base()), fetcher);
  auto downloaded = updater.download({});
  ASSERT_FALSE(downloaded);
  EXPECT_EQ(downloaded.error(), kNoCheckText);
  auto installed = updater.install();
  ASSERT_FALSE(installed);
  EXPECT_EQ(installed.error(), kNothingDownloadedText);
}

TEST_F(UpdaterTest, AnInstallIsNotRepeated) {
  fs::path bundle = dir_ / "good.tar.gz";
  writeArchive(bundle, goodBundle());
  zorvik::testing::TestServer server;
  server.route("/b.tar.gz", {.body = readFile(bundle), .contentType = "application/gzip"});
  Json manifest = {{"version", "v0.70.0"}, {"url", server.base() + "/b.tar.gz"}, {"signature", sign(bundle)}};
  server.route("/latest-linux-x86_64.json", {.body = manifest.dump(), .contentType = "application/json"});
  fetch::Fetcher fetcher({{"127.0.0.1"}, {}, std::nullopt});
  Updater updater(settings(server.base()), fetcher);
  ASSERT_TRUE(updater.check());
  ASSERT_TRUE(updater.download({}));
  ASSERT_TRUE(updater.install());
  auto again = updater.install();
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error(), kNothingDownloadedText);
  EXPECT_EQ(updater.download({}).error(), kNoCheckText);
}

TEST_F(UpdaterTest, CheckFindsNothingAtTheSameOrAnOlderVersion) {
  for (const char* version : {"0.66.2", "0.66.2-beta", "0.65.9"}) {
    zorvik::testing::TestServer server;
    Json manifest = {{"version", version}, {"url", server.base() + "/b"}, {"signature", "x"}};
    server.route("/latest-linux-x86_64.json", {.body = manifest.dump(), .contentType = "application/json"});
    fetch::Fetcher fetcher({{"127.0.0.1"}, {}, std::nullopt});
    Updater updater(settings(server.base()), fetcher);
    auto found = updater.check();
    ASSERT_TRUE(found) << found.error();
    EXPECT_FALSE(*found) << version;
  }
}

TEST(UpdateManifest, PicksThisMachinesBuildOrSaysItIsMissing) {
  auto info = parseManifest(R"({"version":"0.70.0","platforms":{"linux-x86_64":{"url":"u","signature":"s"}}})",
                            "linux", "x86_64");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->url, "u");
  auto other = parseManifest(R"({"version":"0.70.0","platforms":{"windows-x86_64":{"url":"u","signature":"s"}}})",
                             "linux", "x86_64");
  ASSERT_FALSE(other);
  EXPECT_NE(other.error().find("found in the response"), std::string::npos);
  EXPECT_FALSE(parseManifest("not json", "linux", "x86_64"));
  EXPECT_EQ(expandEndpoint("https://h/latest-{{target}}-{{arch}}.json", "linux", "x86_64"),
            "https://h/latest-linux-x86_64.json");
}

TEST(UpdateVersions, CompareByWholeNumberParts) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  for (const auto& c : std::vector<Case>{{"0.70.0", "0.66.2", 1},
                                         {"0.66.2-beta", "0.66.2", 0},
                                         {"0.66.10", "0.66.2", 1},
                                         {"0.66", "0.66.0", 0},
                                         {"v1.0", "0.99.99", 1},
                                         {"0.x.1", "0.0.1", 0},
                                         {"0.66.1", "0.66.2", -1}}) {
    EXPECT_EQ(compareVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
  }
}

TEST(UpdateVersions, TheSignedVersionIsReadFromTheTrustedComment) {
  struct Case {
    const char* comment;
    const char* expected;
  };
  for (const auto& c : std::vector<Case>{{"zorvik 0.70.0 linux-x86_64", "0.70.0"},
                                         {"zorvik v0.70.1", "0.70.1"},
                                         {"  zorvik\t1.2.3-beta  linux-aarch64", "1.2.3-beta"},
                                         {"timestamp:1700000000\tfile:zorvik-0.70.0.tar.gz", ""},
                                         {"other 0.70.0", ""},
                                         {"zorvik", ""},
                                         {"zorvik linux-x86_64", ""},
                                         {"", ""}}) {
    EXPECT_EQ(signedVersion(c.comment), c.expected) << c.comment;
  }
}

TEST(UpdateVersions, TheSignedVersionMustBeTheOfferedOneAndNewerThanTheRunningOne) {
  struct Case {
    const char* signedAs;
    const char* offered;
    const char* running;
    const char* problem;  // "" when the bundle may be installed
  };
  const std::string refused = "пакет обновления отклонен: ";
  for (const auto& c : std::vector<Case>{
           {"0.70.0", "0.70.0", "0.66.2", ""},
           {"0.70.0", "v0.70.0", "0.66.2", ""},
           {"0.0.1", "99.0.0", "0.66.2", "сборка подписана как версия 0.0.1, а сервер выдает ее за 99.0.0"},
           {"0.70.0", "0.70.0.1", "0.66.2", "сборка подписана как версия 0.70.0, а сервер выдает ее за 0.70.0.1"},
           {"0.70.0-beta", "0.70.0", "0.66.2", "сборка подписана как версия 0.70.0-beta, а сервер выдает ее за 0.70.0"},
           {"0.66.2", "0.66.2", "0.66.2", "версия 0.66.2 не новее установленной 0.66.2"},
           {"0.65.9", "0.65.9", "0.66.2", "версия 0.65.9 не новее установленной 0.66.2"},
           {"0.66.2-beta", "0.66.2-beta", "0.66.2", "версия 0.66.2-beta не новее установленной 0.66.2"},
           {"0.66.10", "0.66.10", "0.66.2", ""},
           {"", "0.70.0", "0.66.2", "в подписи сборки не указана ее версия"}}) {
    const std::string expected = *c.problem ? refused + c.problem : "";
    EXPECT_EQ(signedVersionProblem(c.signedAs, c.offered, c.running), expected) << c.signedAs << " / " << c.offered;
  }
}

TEST(UpdateBundleNames, EntriesAndLinksMustStayInside) {
  EXPECT_EQ(entryNameProblem("zorvik-1/zorvik"), "");
  EXPECT_EQ(entryNameProblem("./zorvik-1/a/../b"), "выходит за папку пакета (..)");
  EXPECT_NE(entryNameProblem("/etc/passwd"), "");
  EXPECT_NE(entryNameProblem(""), "");
  EXPECT_EQ(linkTargetProblem("zorvik-1/lib/x", "../zorvik"), "");
  EXPECT_EQ(linkTargetProblem("zorvik-1/x", "lib/y"), "");
  EXPECT_NE(linkTargetProblem("zorvik-1/x", "../other"), "");
  EXPECT_NE(linkTargetProblem("zorvik-1/x", "/usr/lib"), "");
}

}  // namespace
