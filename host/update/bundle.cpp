#include "update/bundle.hpp"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "core/system_error.hpp"
#include "core/utf8_path.hpp"
#include "platform/c_file.hpp"

namespace zorvik::update {

namespace {

struct ReadFree {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
  void operator()(archive* a) const { archive_write_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ReadFree>;
using ArchiveWriter = std::unique_ptr<archive, WriteFree>;

std::vector<std::string_view> parts(std::string_view path) {
  std::vector<std::string_view> out;
  while (!path.empty()) {
    auto slash = path.find('/');
    std::string_view part = path.substr(0, slash);
    if (!part.empty() && part != ".") out.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return out;
}

std::string refused(std::string_view name, std::string_view why) {
  return "пакет обновления отклонен: запись «" + std::string(name) + "» " + std::string(why);
}

std::string archiveText(archive* a) {
  const char* text = archive_error_string(a);
  return text ? text : "unknown archive error";
}

}  // namespace

std::string entryNameProblem(std::string_view name) {
  if (name.empty()) return "без имени";
  if (name.front() == '/' || name.find('\\') != std::string_view::npos) return "с абсолютным путем";
  for (auto part : parts(name))
    if (part == "..") return "выходит за папку пакета (..)";
  if (parts(name).empty()) return "без имени";
  return {};
}

std::string linkTargetProblem(std::string_view name, std::string_view target) {
  if (target.empty() || target.front() == '/') return "ссылается на абсолютный путь";
  // The link's folder, then the target's parts: the depth may never drop below zero.
  auto base = parts(name);
  long depth = static_cast<long>(base.size()) - 1;
  for (auto part : parts(target)) {
    depth += part == ".." ? -1 : 1;
    if (depth < 1) return "ссылается за папку пакета";
  }
  return {};
}

Result<std::string> unpackBundle(const std::filesystem::path& archivePath, const std::filesystem::path& dir) {
  ArchiveReader in(archive_read_new());
  ArchiveWriter out(archive_write_disk_new());
  if (!in || !out) return fail("не удалось распаковать обновление: нет памяти");
  archive_read_support_filter_gzip(in.get());
  archive_read_support_format_tar(in.get());
  // Checked by name above as well; the writer's own guards are a second line.
  archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                ARCHIVE_EXTRACT_NO_OVERWRITE);
  platform::CFile archiveFile = platform::openFile(archivePath, "rb");
  if (!archiveFile) return fail("не удалось открыть пакет обновления: " + errnoText(errno));
  if (archive_read_open_FILE(in.get(), archiveFile.get()) != ARCHIVE_OK)
    return fail("не удалось открыть пакет обновления: " + archiveText(in.get()));

  std::string top;
  std::uint64_t total = 0;
  bool any = false;
  for (;;) {
    archive_entry* entry = nullptr;
    int rc = archive_read_next_header(in.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    if (rc != ARCHIVE_OK) return fail("пакет обновления поврежден: " + archiveText(in.get()));
    const char* rawName = archive_entry_pathname(entry);
    std::string name = rawName ? rawName : "";
    if (auto problem = entryNameProblem(name); !problem.empty()) return fail(refused(name, problem));
    auto nameParts = parts(name);
    if (top.empty()) top = std::string(nameParts.front());
    if (nameParts.front() != top) return fail(refused(name, "лежит вне папки пакета " + top));
    if (archive_entry_hardlink(entry)) return fail(refused(name, "— жесткая ссылка"));
    auto type = archive_entry_filetype(entry);
    if (type == AE_IFLNK) {
      const char* target = archive_entry_symlink(entry);
      if (auto problem = linkTargetProblem(name, target ? target : ""); !problem.empty())
        return fail(refused(name, problem));
    } else if (type != AE_IFREG && type != AE_IFDIR) {
      return fail(refused(name, "— не файл и не папка"));
    }
    if (nameParts.size() == 1 && type != AE_IFDIR) return fail(refused(name, "лежит вне папки пакета"));
    total += static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)));
    if (total > kMaxUnpackedBytes) return fail("пакет обновления отклонен: он слишком велик для распаковки");

    std::string cleaned;
    for (auto part : nameParts) cleaned += "/" + std::string(part);
    const std::string destination = utf8Text(dir) + cleaned;
    archive_entry_set_pathname_utf8(entry, destination.c_str());
    archive_entry_set_uid(entry, 0);
    archive_entry_set_gid(entry, 0);
    if (archive_write_header(out.get(), entry) != ARCHIVE_OK)
      return fail(refused(name, "не записалась: " + archiveText(out.get())));
    if (type == AE_IFREG && archive_entry_size(entry) > 0) {
      const void* block = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      while ((rc = archive_read_data_block(in.get(), &block, &size, &offset)) == ARCHIVE_OK) {
        if (archive_write_data_block(out.get(), block, size, offset) != ARCHIVE_OK)
          return fail(refused(name, "не записалась: " + archiveText(out.get())));
      }
      if (rc != ARCHIVE_EOF) return fail("пакет обновления поврежден: " + archiveText(in.get()));
    }
    if (archive_write_finish_entry(out.get()) != ARCHIVE_OK)
      return fail(refused(name, "не записалась: " + archiveText(out.get())));
    any = true;
  }
  if (archive_write_close(out.get()) != ARCHIVE_OK)
    return fail("не удалось распаковать обновление: " + archiveText(out.get()));
  if (!any) return fail("пакет обновления отклонен: он пуст");
  return top;
}

}  // namespace zorvik::update
