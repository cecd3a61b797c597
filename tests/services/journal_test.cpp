#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "services/journal_file.hpp"
#include "services/kv_file.hpp"
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

void appendRaw(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::app) << text;
}

std::unique_ptr<JournalFile> openOk(const fs::path& p) {
  auto journal = JournalFile::open(p);
  EXPECT_TRUE(journal) << (journal ? "" : journal.error());
  return journal ? std::move(*journal) : nullptr;
}

Json scan(const std::string& uid) { return Json{{"scanUid", uid}, {"code", "4600439931256"}, {"qty", 1}}; }

TEST(Journal, EachChangeIsOneAppendedRecordAndSurvivesAReopen) {
  TempDir tmp;
  fs::path file = tmp.path() / "inventory-queue.dat";
  {
    auto journal = openOk(file);
    ASSERT_TRUE(journal);
    EXPECT_TRUE(journal->entries().empty());
    auto before = fs::file_size(file);
    ASSERT_TRUE(journal->change(Json{{"a:1", scan("1")}}, {}));
    auto afterOne = fs::file_size(file);
    EXPECT_GT(afterOne, before);
    // The file grows by the record alone: what was there stays as it was.
    std::string first = readAll(file);
    ASSERT_TRUE(journal->change(Json{{"a:2", scan("2")}}, {}));
    ASSERT_TRUE(journal->change(Json::object(), {"a:1"}));
    EXPECT_EQ(readAll(file).substr(0, first.size()), first);
    EXPECT_EQ(journal->appendedRecords(), 3u);
  }
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto journal = openOk(file);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->entries(), (Json{{"a:2", scan("2")}}));
  EXPECT_FALSE(journal->keptAside());
}

// The app killed while a record was being written: the record was never
// answered, so the scan it carried was never reported saved.
TEST(Journal, ARecordCutShortAtTheEndIsLeftOutAndTheNextChangesReadBack) {
  for (std::string torn : {std::string(R"({"put":{"a:3":{"scanUid":"3","co)"), std::string(40, '\0'),
                           std::string("{")}) {
    TempDir tmp;
    fs::path file = tmp.path() / "inventory-queue.dat";
    {
      auto journal = openOk(file);
      ASSERT_TRUE(journal->change(Json{{"a:1", scan("1")}, {"a:2", scan("2")}}, {}));
    }
    appendRaw(file, torn);
    {
      auto journal = openOk(file);
      ASSERT_TRUE(journal);
      EXPECT_EQ(journal->entries(), (Json{{"a:1", scan("1")}, {"a:2", scan("2")}}));
      EXPECT_FALSE(journal->keptAside());  // nothing damaged: a cut-short record is no loss
      ASSERT_TRUE(journal->change(Json{{"a:4", scan("4")}}, {}));
    }
    auto journal = openOk(file);
    EXPECT_EQ(journal->entries().size(), 3u);
    EXPECT_TRUE(journal->entries().contains("a:4"));
  }
}

TEST(Journal, ADamagedRecordBeforeTheLastKeepsTheFileAsideAndWhatCanBeRead) {
  TempDir tmp;
  fs::path file = tmp.path() / "inventory-queue.dat";
  {
    auto journal = openOk(file);
    ASSERT_TRUE(journal->change(Json{{"a:1", scan("1")}}, {}));
  }
  appendRaw(file, "not a record\n");
  appendRaw(file, R"({"put":{"a:2":{"scanUid":"2"}}})" "\n");
  std::string damaged = readAll(file);

  auto journal = openOk(file);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->entries(), (Json{{"a:1", scan("1")}, {"a:2", {{"scanUid", "2"}}}}));
  ASSERT_TRUE(journal->keptAside());
  EXPECT_EQ(readAll(*journal->keptAside()), damaged);
  EXPECT_NE(readAll(file), damaged);  // the file itself is whole again
}

// The copy written by the app before the journal: one JSON object.
TEST(Journal, AKeyValueFileOfTheOlderKindIsReadAndTakesTheJournalForm) {
  TempDir tmp;
  fs::path file = tmp.path() / "inventory-queue.dat";
  Json old{{"scans", Json::array({scan("1"), scan("2")})}};
  ASSERT_TRUE(saveKeyValueFile(file, old));
  {
    auto journal = openOk(file);
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->entries(), old);
    EXPECT_FALSE(journal->keptAside());
    ASSERT_TRUE(journal->change(Json{{"a:3", scan("3")}}, {"scans"}));
  }
  EXPECT_EQ(readAll(file).rfind(R"({"journal":1})" "\n", 0), 0u);
  EXPECT_EQ(openOk(file)->entries(), (Json{{"a:3", scan("3")}}));
}

TEST(Journal, TheFileIsRewrittenNowAndThenAndStaysSmall) {
  TempDir tmp;
  fs::path file = tmp.path() / "inventory-queue.dat";
  auto journal = openOk(file);
  // A queue of 20 scans taken and sent over and over: about 2,000 records.
  std::size_t largest = 0;
  for (int i = 0; i < 1000; ++i) {
    std::string key = "a:" + std::to_string(i);
    ASSERT_TRUE(journal->change(Json{{key, scan(std::to_string(i))}}, {}));
    if (i >= 20) ASSERT_TRUE(journal->change(Json::object(), {"a:" + std::to_string(i - 20)}));
    largest = std::max<std::size_t>(largest, fs::file_size(file));
  }
  EXPECT_LT(largest, 3 * JournalFile::kRewriteAfterBytes);
  EXPECT_LT(journal->appendedRecords(), 1980u);  // it was rewritten on the way
  auto reopened = openOk(file);
  ASSERT_EQ(reopened->entries().size(), 20u);
  EXPECT_TRUE(reopened->entries().contains("a:999"));
  EXPECT_FALSE(reopened->entries().contains("a:979"));
}

TEST(Journal, TheRegistryOpensByNameOnceAndRefusesOtherPaths) {
  TempDir tmp;
  JournalRegistry journals([dir = tmp.path()]() -> Result<fs::path> { return dir; });
  auto first = journals.open("inventory-queue.dat");
  ASSERT_TRUE(first);
  ASSERT_TRUE(journals.change(first->rid, Json{{"a:1", scan("1")}}, {}));
  auto again = journals.open("inventory-queue.dat");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->rid, first->rid);
  EXPECT_EQ(again->entries, (Json{{"a:1", scan("1")}}));
  for (const char* bad : {"../outside.dat", "a/b.dat", "", ".."}) EXPECT_FALSE(journals.open(bad)) << bad;
  EXPECT_TRUE(journals.close(first->rid));
  EXPECT_FALSE(journals.change(first->rid, Json::object(), {}));
}

}  // namespace
}  // namespace zorvik::services
