#include <gtest/gtest.h>
#include <sys/stat.h>

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
