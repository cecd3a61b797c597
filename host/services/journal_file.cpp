#include "services/journal_file.hpp"

#include <chrono>
#include <string_view>

#include "core/system_error.hpp"
#include "log/app_log.hpp"
#include "services/store_registry.hpp"

namespace zorvik::services {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFirstLine = R"({"journal":1})";

std::string asideName(const fs::path& path) {
  std::string stamp = log::utcStamp(std::chrono::system_clock::now());
  for (char& c : stamp)
    if (c == ' ' || c == ':') c = '-';
  std::string base = path.string() + ".corrupt-" + stamp;
  std::string name = base;
  std::error_code ec;
  for (int i = 2; fs::exists(name, ec); ++i) name = base + "-" + std::to_string(i);
  return name;
}

std::string dumped(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// Applies one record line to `entries`; false when the line is not a record.
bool apply(std::string_view line, Json& entries) {
  Json record = Json::parse(line, nullptr, false);
  if (record.is_discarded() || !record.is_object()) return false;
  auto put = record.find("put");
  auto del = record.find("del");
  if (put != record.end() && !put->is_object()) return false;
  if (del != record.end()) {
    if (!del->is_array()) return false;
    for (const Json& key : *del)
      if (!key.is_string()) return false;
  }
  if (del != record.end())
    for (const Json& key : *del) entries.erase(key.get<std::string>());
  if (put != record.end())
    for (auto& [key, value] : put->items()) entries[key] = value;
  return true;
}

struct Read {
  Json entries = Json::object();
  bool tidy = true;     // the file is in journal form with nothing to leave out
  bool damaged = false; // something in it could not be read: keep the file aside
};

Read readJournal(const std::string& text) {
  Read out;
  if (text.empty()) {
    out.tidy = false;  // a new file: its first line is written by the rewrite
    return out;
  }
  if (text.compare(0, kFirstLine.size(), kFirstLine) != 0 || text.size() == kFirstLine.size() ||
      text[kFirstLine.size()] != '\n') {
    // A key-value file of the older kind, or damage.
    out.tidy = false;
    Json whole = Json::parse(text, nullptr, false);
    if (!whole.is_discarded() && whole.is_object()) {
      out.entries = std::move(whole);
    } else {
      out.damaged = true;
    }
    return out;
  }
  std::size_t start = kFirstLine.size() + 1;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      // Cut short by a crash while it was written: it never was answered.
      out.tidy = false;
      break;
    }
    if (!apply(std::string_view(text).substr(start, end - start), out.entries)) {
      out.damaged = true;
      out.tidy = false;
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

Result<std::unique_ptr<JournalFile>> JournalFile::open(const fs::path& path) {
  std::unique_ptr<JournalFile> journal(new JournalFile(path));
  auto text = platform::readExistingFile(path);
  Read read;
  if (!text) {
    read.tidy = false;
    read.damaged = true;
  } else if (*text) {
    read = readJournal(**text);
    journal->appendedBytes_ = (*text)->size();
  } else {
    read.tidy = false;
  }
  if (read.damaged) {
    // Kept as it was for whoever looks into it; only then may the name be reused.
    fs::path aside = asideName(path);
    std::error_code ec;
    fs::rename(path, aside, ec);
    if (ec) return failWith("не удалось отложить поврежденный журнал " + path.string() + ": ", errorText(ec));
    journal->keptAside_ = aside;
  }
  journal->entries_ = std::move(read.entries);
  bool large = journal->appendedBytes_ > kRewriteAfterBytes;
  if (!read.tidy || large) {
    if (auto written = journal->rewrite(); !written) return fail(written.error());
    return journal;
  }
  auto file = platform::AppendOnlyFile::open(path, true);
  if (!file) return fail(file.error());
  journal->file_ = std::move(*file);
  journal->wholeBytes_ = journal->appendedBytes_;
  journal->appendedBytes_ = 0;
  return journal;
}

Status JournalFile::change(const Json& put, const std::vector<std::string>& remove) {
  if (!put.is_object()) return fail("записи журнала — не объект");
  if (!file_.isOpen()) {
    auto file = platform::AppendOnlyFile::open(path_, true);
    if (!file) return fail(file.error());
    file_ = std::move(*file);
  }
  Json record = Json::object();
  if (!put.empty()) record["put"] = put;
  if (!remove.empty()) record["del"] = remove;
  std::string line = dumped(record) + "\n";
  if (auto written = file_.append(line); !written) return written;
  for (const std::string& key : remove) entries_.erase(key);
  for (auto& [key, value] : put.items()) entries_[key] = value;
  appendedBytes_ += line.size();
  ++appendedRecords_;
  if (appendedBytes_ > kRewriteAfterBytes && appendedBytes_ > 2 * wholeBytes_) {
    // The change is on the disk already; a failed rewrite leaves the records
    // as they are, to be read as before.
    (void)rewrite();
  }
  return {};
}

Status JournalFile::rewrite() {
  std::string text(kFirstLine);
  text += '\n';
  if (!entries_.empty()) text += dumped(Json{{"put", entries_}}) + "\n";
  std::error_code ec;
  fs::create_directories(path_.parent_path(), ec);
  file_.close();
  auto written = platform::writeFileAtomically(path_, text, true);
  // Whether or not it was replaced, the file at the path takes the next records.
  auto file = platform::AppendOnlyFile::open(path_, true);
  if (file) file_ = std::move(*file);
  if (!written) return written;
  if (!file) return fail(file.error());
  wholeBytes_ = text.size();
  appendedBytes_ = 0;
  appendedRecords_ = 0;
  return {};
}

Result<JournalRegistry::Opened> JournalRegistry::open(const std::string& name) {
  if (!validStoreName(name)) return fail("Недопустимое имя журнала: " + name);
  std::lock_guard lock(mutex_);
  for (const auto& [rid, journal] : open_)
    if (journal->file().filename() == name) return Opened{rid, journal->entries(), std::nullopt};
  auto folder = folder_();
  if (!folder) return fail("Не удалось определить папку данных: " + folder.error());
  auto journal = JournalFile::open(*folder / name);
  if (!journal) return failWith("Не удалось открыть " + name + ": ", journal.error());
  auto rid = next_++;
  Opened opened{rid, (*journal)->entries(), (*journal)->keptAside()};
  open_.emplace(rid, std::move(*journal));
  return opened;
}

Status JournalRegistry::change(std::uint32_t rid, const Json& put, const std::vector<std::string>& remove) {
  std::lock_guard lock(mutex_);
  auto it = open_.find(rid);
  if (it == open_.end()) return fail("Журнал не открыт: " + std::to_string(rid));
  if (auto changed = it->second->change(put, remove); !changed)
    return failWith("Не удалось записать " + it->second->file().filename().string() + ": ", changed.error());
  return {};
}

bool JournalRegistry::close(std::uint32_t rid) {
  std::lock_guard lock(mutex_);
  return open_.erase(rid) > 0;
}

}  // namespace zorvik::services
