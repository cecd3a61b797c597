#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <fstream>
#include <sstream>

#include "services/kv_file.hpp"
#include "services/store_registry.hpp"
#include "test_env.hpp"

namespace zorvik::services {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

StoreRegistry registryIn(const fs::path& dir) {
  return StoreRegistry([dir]() -> Result<fs::path> { return dir; });
}

TEST(Store, ValuesSurviveAReopenAndFilesArePrivate) {
  TempDir tmp;
  {
    auto stores = registryIn(tmp.path());
    auto rid = stores.load(".device.dat", Json::object());
    ASSERT_TRUE(rid);
    auto* s = *stores.get(*rid);
    ASSERT_TRUE(s->set("deviceId", "abc"));
    ASSERT_TRUE(s->set("n", 3));
  }
  struct stat st {};
  ASSERT_EQ(::stat((tmp.path() / ".device.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto stores = registryIn(tmp.path());
  auto* s = *stores.get(*stores.load(".device.dat", Json::object()));
  EXPECT_EQ(*s->get("deviceId"), "abc");
  EXPECT_EQ(*s->get("n"), 3);
  EXPECT_FALSE(s->get("missing"));
}

// A crash after the temporary file was written but before the rename.
TEST(Store, ALeftoverTemporaryFileNeverReplacesTheOldContent) {
  TempDir tmp;
  fs::path file = tmp.path() / "credentials.dat";
  ASSERT_TRUE(saveKeyValueFile(file, Json{{"token", "old"}}));
  std::ofstream(file.string() + ".tmp") << R"({"token": "new, half-wri)";
  auto loaded = loadKeyValueFile(file);
  EXPECT_TRUE(loaded.found);
  EXPECT_EQ(loaded.data["token"], "old");
  // The next save replaces both cleanly.
  ASSERT_TRUE(saveKeyValueFile(file, Json{{"token", "new"}}));
  EXPECT_EQ(loadKeyValueFile(file).data["token"], "new");
  EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
}

TEST(Store, ACorruptFileReadsAsEmptyAndIsKeptAside) {
  for (const char* junk : {"{\"a\": 1", "[1,2,3]", "\xff\xfe garbage", "null"}) {
    TempDir tmp;
    fs::path file = tmp.path() / ".settings.dat";
    std::ofstream(file, std::ios::binary) << junk;
    auto stores = registryIn(tmp.path());
    auto* s = *stores.get(*stores.load(".settings.dat", Json{{"theme", "system"}}));
    EXPECT_EQ(s->data(), (Json{{"theme", "system"}})) << junk;  // the defaults, nothing else
    // The unreadable bytes are preserved beside it, untouched.
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(tmp.path()))
      if (e.path().filename().string().starts_with(".settings.dat.corrupt-")) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u) << junk;
    EXPECT_EQ(readAll(aside[0]), junk);
    // Saving now writes a fresh file and leaves the kept copy alone.
    ASSERT_TRUE(s->set("theme", "dark"));
    EXPECT_EQ(readAll(aside[0]), junk);
  }
}

std::vector<fs::path> keptAside(const fs::path& dir, const std::string& name) {
  std::vector<fs::path> aside;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().starts_with(name + ".corrupt-")) aside.push_back(e.path());
  return aside;
}

// Only a name where nothing exists is a new store: whatever else is there and
// cannot be read is moved aside as it is, never replaced.
TEST(Store, AnEntryThatCannotBeReadIsKeptAsideNotOverwritten) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& file, const fs::path& dir)> plant;
    std::function<void(const fs::path& aside, const fs::path& dir)> check;
  };
  std::vector<Case> cases{
      {"a dangling symbolic link",
       [](const fs::path& f, const fs::path& d) { fs::create_symlink(d / "gone.dat", f); },
       [](const fs::path& a, const fs::path& d) {
         EXPECT_TRUE(fs::is_symlink(fs::symlink_status(a)));
         EXPECT_EQ(fs::read_symlink(a), d / "gone.dat");
       }},
      {"a looping symbolic link", [](const fs::path& f, const fs::path&) { fs::create_symlink(f.filename(), f); },
       [](const fs::path& a, const fs::path&) { EXPECT_TRUE(fs::is_symlink(fs::symlink_status(a))); }},
      {"a folder",
       [](const fs::path& f, const fs::path&) {
         fs::create_directory(f);
         std::ofstream(f / "inside") << "kept";
       },
       [](const fs::path& a, const fs::path&) { EXPECT_EQ(readAll(a / "inside"), "kept"); }},
      {"a pipe", [](const fs::path& f, const fs::path&) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
       [](const fs::path& a, const fs::path&) { EXPECT_TRUE(fs::is_fifo(fs::symlink_status(a))); }},
  };
  if (::geteuid() != 0) {  // root reads any file, so only others can see this one refused
    cases.push_back({"a file of another user (no permission to read)",
                     [](const fs::path& f, const fs::path&) {
                       std::ofstream(f) << R"({"deviceToken": "theirs"})";
                       fs::permissions(f, fs::perms::none);
                     },
                     [](const fs::path& a, const fs::path&) {
                       fs::permissions(a, fs::perms::owner_read);
                       EXPECT_EQ(readAll(a), R"({"deviceToken": "theirs"})");
                     }});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    fs::path file = tmp.path() / ".device.dat";
    c.plant(file, tmp.path());
    auto stores = registryIn(tmp.path());
    auto rid = stores.load(".device.dat", Json::object());
    ASSERT_TRUE(rid) << rid.error();
    auto* s = *stores.get(*rid);
    EXPECT_EQ(s->data(), Json::object());
    auto aside = keptAside(tmp.path(), ".device.dat");
    ASSERT_EQ(aside.size(), 1u);
    c.check(aside[0], tmp.path());
    ASSERT_TRUE(s->set("deviceToken", "new"));
    EXPECT_EQ(loadKeyValueFile(file).data, (Json{{"deviceToken", "new"}}));
    c.check(aside[0], tmp.path());
  }
}

// When the unreadable entry cannot even be moved (here its kept-aside name
// would be too long), the store refuses every save and the entry stays.
TEST(Store, AnEntryThatCannotBeMovedAsideBlocksSaving) {
  TempDir tmp;
  const std::string name(240, 's');
  std::ofstream(tmp.path() / name) << "{damaged";
  auto stores = registryIn(tmp.path());
  auto* s = *stores.get(*stores.load(name, Json::object()));
  auto saved = s->set("deviceToken", "new");
  ASSERT_FALSE(saved);
  EXPECT_TRUE(saved.error().starts_with("Не удалось сохранить " + name + ": не удалось отложить поврежденный файл "))
      << saved.error();
  EXPECT_EQ(readAll(tmp.path() / name), "{damaged");
}

// A store reached through a link is saved where the link leads.
TEST(Store, AWorkingLinkIsWrittenThrough) {
  TempDir tmp;
  fs::create_directory(tmp.path() / "real");
  std::ofstream(tmp.path() / "real" / "settings.json") << R"({"theme": "dark"})";
  fs::create_symlink(tmp.path() / "real" / "settings.json", tmp.path() / ".settings.dat");
  auto stores = registryIn(tmp.path());
  auto* s = *stores.get(*stores.load(".settings.dat", Json::object()));
  EXPECT_EQ(*s->get("theme"), "dark");
  ASSERT_TRUE(s->set("zoom", 120));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(tmp.path() / ".settings.dat")));
  EXPECT_EQ(loadKeyValueFile(tmp.path() / "real" / "settings.json").data, (Json{{"theme", "dark"}, {"zoom", 120}}));
  EXPECT_TRUE(keptAside(tmp.path(), ".settings.dat").empty());
}

TEST(Store, OperationsAndNames) {
  TempDir tmp;
  auto stores = registryIn(tmp.path());
  auto rid = stores.load(".settings.dat", Json{{"zoom", 1}});
  ASSERT_TRUE(rid);
  EXPECT_EQ(stores.load(".settings.dat", Json::object()), rid);  // one store per file
  EXPECT_EQ(stores.find(".settings.dat"), *rid);
  auto* s = *stores.get(*rid);
  ASSERT_TRUE(s->set("a", 1));
  EXPECT_TRUE(s->has("a"));
  EXPECT_EQ(*s->remove("a"), true);
  EXPECT_EQ(*s->remove("a"), false);
  ASSERT_TRUE(s->clear());
  EXPECT_TRUE(s->data().empty());
  ASSERT_TRUE(s->reset());
  EXPECT_EQ(s->data(), (Json{{"zoom", 1}}));
  EXPECT_TRUE(stores.close(*rid));
  EXPECT_FALSE(stores.get(*rid));

  for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b"}) EXPECT_FALSE(stores.load(bad, {})) << bad;
}

}  // namespace
}  // namespace zorvik::services
