// A page's journal file: keys with JSON values, changed by one appended record
// at a time, each on the disk before the change is answered (one data sync,
// no rename). For what must be kept the moment it happens and changes often,
// such as the inventory's scan queue: the cost of a change is the change,
// not the whole file.
//
// The file is text, one JSON object a line: a first line {"journal":1}, then
// records {"put":{key: value, ...},"del":[key, ...]} applied in order. A
// record the app was killed in the middle of writing is the last line, cut
// short: it is left out when the file is read. Now and then (when the records
// have grown well past what they describe, and whenever the file is opened
// with something to tidy) the file is rewritten as one record of everything,
// atomically, beside the old one.
//
// A file without the first line is a key-value file of the older kind (one
// JSON object): its keys become the journal's, and the next rewrite gives it
// the journal form. Any thread; one thread at a time per file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/json.hpp"
#include "core/result.hpp"
#include "platform/files.hpp"

namespace zorvik::services {

class JournalFile {
 public:
  // Reads `path` (a missing file is an empty journal) and readies it for
  // appending. A record that cannot be read before the last one means the
  // file was damaged: the file is kept aside as "<name>.corrupt-<stamp>" and
  // the journal holds what the readable records say.
  [[nodiscard]] static Result<std::unique_ptr<JournalFile>> open(const std::filesystem::path& path);

  // Sets the keys of `put` (a JSON object) to their values and removes the
  // keys in `remove`, in one record; answers once the record is on the disk.
  // On failure the journal in memory is unchanged.
  [[nodiscard]] Status change(const Json& put, const std::vector<std::string>& remove);

  [[nodiscard]] const Json& entries() const { return entries_; }
  [[nodiscard]] const std::filesystem::path& file() const { return path_; }
  // Where a damaged file was moved when it was opened.
  [[nodiscard]] const std::optional<std::filesystem::path>& keptAside() const { return keptAside_; }
  // Records appended since the file was last rewritten whole.
  [[nodiscard]] std::size_t appendedRecords() const { return appendedRecords_; }

  // The file is rewritten once its records take more than this many bytes
  // and more than twice what one record of everything would.
  static constexpr std::size_t kRewriteAfterBytes = 64 * 1024;

 private:
  explicit JournalFile(std::filesystem::path path) : path_(std::move(path)) {}
  Status rewrite();

  std::filesystem::path path_;
  Json entries_ = Json::object();
  platform::AppendOnlyFile file_;
  std::optional<std::filesystem::path> keptAside_;
  std::size_t appendedBytes_ = 0;    // records written after the last rewrite
  std::size_t appendedRecords_ = 0;
  std::size_t wholeBytes_ = 0;       // the size of the last rewrite
};

// The page's open journals by resource id, in the app's data folder.
// Any thread.
class JournalRegistry {
 public:
  using FolderResolver = std::function<Result<std::filesystem::path>()>;
  explicit JournalRegistry(FolderResolver folder) : folder_(std::move(folder)) {}

  struct Opened {
    std::uint32_t rid;
    Json entries;
    // Where a damaged file was moved when this call opened it.
    std::optional<std::filesystem::path> keptAside;
  };
  // Opens (or finds the open) journal `name`: its resource id and entries.
  [[nodiscard]] Result<Opened> open(const std::string& name);
  [[nodiscard]] Status change(std::uint32_t rid, const Json& put, const std::vector<std::string>& remove);
  bool close(std::uint32_t rid);

 private:
  FolderResolver folder_;
  std::mutex mutex_;
  std::uint32_t next_ = 1;
  std::map<std::uint32_t, std::unique_ptr<JournalFile>> open_;
};

}  // namespace zorvik::services
