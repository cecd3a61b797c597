// Printers on CUPS: destinations for the list, the destination's default media
// and PPD options for the paper, the user's lpoptions for a stored size, and
// one IPP job per print.
#include "platform/printers.hpp"

#include <cups/cups.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "core/system_error.hpp"
#include "platform/linux/printers_cups.hpp"

// PPD reading is deprecated in CUPS 2 in favour of IPP attributes, yet a
// driver's own options (media tracking) exist only in its PPD. Can go when
// label drivers publish them as IPP attributes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

namespace zorvik::platform {

namespace cups {

bool queueIsOnline(std::string_view stateReasons, bool acceptingJobs) {
  if (!acceptingJobs) return false;
  std::size_t start = 0;
  while (start <= stateReasons.size()) {
    std::size_t end = stateReasons.find(',', start);
    if (end == std::string_view::npos) end = stateReasons.size();
    std::string_view reason = stateReasons.substr(start, end - start);
    if (reason == "offline-report" || reason.ends_with("-error")) return false;
    start = end + 1;
  }
  return true;
}

namespace {

// The size a media name stands for, in any form CUPS reads.
const pwg_media_t* mediaFor(const std::string& name) {
  const pwg_media_t* media = pwgMediaForPWG(name.c_str());
  if (!media) media = pwgMediaForLegacy(name.c_str());
  if (!media) media = pwgMediaForPPD(name.c_str());
  return media;
}

}  // namespace

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); });
}

namespace {

bool equalNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && startsWithNoCase(a, b); }

// The paper a name stands for when the printer keeps no list of its own.
std::optional<PaperSize> paperNamed(const std::string& name) {
  const pwg_media_t* media = mediaFor(name);
  if (!media) return std::nullopt;
  PaperSize size{name, "", media->width, media->length};
  bool custom = startsWithNoCase(name, "custom.") || startsWithNoCase(media->pwg, "custom_");
  if (!custom && media->ppd) size.formName = media->ppd;
  return size;
}

}  // namespace

std::optional<PaperSize> resolvePaper(const PaperCatalog& catalog, const std::optional<std::string>& request) {
  if (request && !request->empty()) {
    for (const PaperSize& size : catalog.sizes)
      if (equalNoCase(size.name, *request)) return size;
    if (auto wanted = paperNamed(*request)) {
      if (!catalog.listed) return wanted;
      // The scheduler's own tolerance: about 5 points either way.
      constexpr int kTolerance = 176;
      for (const PaperSize& size : catalog.sizes)
        if (std::abs(size.width - wanted->width) < kTolerance && std::abs(size.length - wanted->length) < kTolerance)
          return size;
      if (catalog.custom && wanted->width >= catalog.customMinWidth && wanted->width <= catalog.customMaxWidth &&
          wanted->length >= catalog.customMinLength && wanted->length <= catalog.customMaxLength) {
        wanted->formName.clear();
        return wanted;
      }
    }
  }
  return catalog.defaultSize;
}

std::string customMediaName(int widthTenths, int heightTenths) {
  auto mm = [](int tenths) {
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10) text += "." + std::to_string(tenths % 10);
    return text;
  };
  return "Custom." + mm(widthTenths) + "x" + mm(heightTenths) + "mm";
}

}  // namespace cups

namespace {

using cups::PaperCatalog;
using cups::PaperSize;
using cups::startsWithNoCase;

// The scheduler could not be asked at all: it is not installed or not running. The texts say what to do.
constexpr std::string_view kListFailed =
    "Служба печати CUPS не отвечает, поэтому список принтеров не получен. Установите CUPS (пакет cups) и запустите "
    "его — как это сделать, написано в «Как настроить печать».";
constexpr std::string_view kReadFailed =
    "Служба печати CUPS не отвечает, поэтому настройки принтера не прочитаны. Запустите CUPS — как это сделать, "
    "написано в «Как настроить печать».";
constexpr std::string_view kNotOpened = "Принтер не открылся — проверьте, подключён ли он";
constexpr std::string_view kNotStored = "Система не дала сохранить настройку печати этого принтера";

std::string quoted(std::string_view head, const std::string& name, std::string_view tail) {
  return std::string(head) + "«" + name + "»" + std::string(tail);
}

// ---- Owners of CUPS objects -------------------------------------------------------

struct DestFree {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestFree>;

struct InfoFree {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using InfoPtr = std::unique_ptr<cups_dinfo_t, InfoFree>;

struct HttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
using HttpPtr = std::unique_ptr<http_t, HttpClose>;

struct PpdClose {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdClose>;

// Every destination the user can see, with the user's own options merged in.
class DestList {
 public:
  DestList() = default;
  DestList(const DestList&) = delete;
  DestList& operator=(const DestList&) = delete;
  ~DestList() { cupsFreeDests(count_, dests_); }

  // False when the scheduler could not be asked; none at all is not a failure.
  [[nodiscard]] bool load() {
    count_ = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_);
    if (count_ > 0) return true;
    ipp_status_t status = cupsLastError();
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE || status == IPP_STATUS_ERROR_NOT_FOUND;
  }

  [[nodiscard]] std::span<cups_dest_t> all() const { return {dests_, static_cast<std::size_t>(count_)}; }
  [[nodiscard]] int count() const { return count_; }
  [[nodiscard]] cups_dest_t* data() const { return dests_; }

 private:
  cups_dest_t* dests_ = nullptr;
  int count_ = 0;
};

// A set of options owned here.
class Options {
 public:
  Options() = default;
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  ~Options() { cupsFreeOptions(count_, options_); }

  void set(const char* name, const std::string& value) { count_ = cupsAddOption(name, value.c_str(), count_, &options_); }
  void remove(const char* name) { count_ = cupsRemoveOption(name, count_, &options_); }
  [[nodiscard]] int count() const { return count_; }
  [[nodiscard]] cups_option_t* data() const { return options_; }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

// "printer/instance", as CUPS writes a destination with an instance.
std::string destName(const cups_dest_t& dest) {
  std::string name = dest.name;
  if (dest.instance) name += std::string("/") + dest.instance;
  return name;
}

struct NameParts {
  std::string printer;
  std::optional<std::string> instance;
};

NameParts splitName(const std::string& name) {
  auto slash = name.find('/');
  if (slash == std::string::npos) return {name, std::nullopt};
  return {name.substr(0, slash), name.substr(slash + 1)};
}

DestPtr namedDest(const std::string& name) {
  NameParts parts = splitName(name);
  return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, parts.printer.c_str(),
                                  parts.instance ? parts.instance->c_str() : nullptr));
}

std::optional<std::string> destOption(const cups_dest_t& dest, const char* name) {
  const char* value = cupsGetOption(name, dest.num_options, dest.options);
  if (!value) return std::nullopt;
  return std::string(value);
}

// The paper the user asked for, in the order the scheduler reads it.
std::optional<std::string> requestedPaper(const cups_dest_t& dest) {
  for (const char* name : {"PageSize", "PageRegion", "media"}) {
    if (auto value = destOption(dest, name)) {
      // "media" may list a size with a source or type: the first item is the size.
      return value->substr(0, value->find(','));
    }
  }
  return std::nullopt;
}

// ---- The driver's PPD ------------------------------------------------------------

// The PPD of a queue, or null for a queue without one (raw or driverless).
PpdPtr fetchPpd(const cups_dest_t& dest) {
  char path[1024] = "";
  time_t modified = 0;
  http_status_t status = cupsGetPPD3(CUPS_HTTP_DEFAULT, dest.name, &modified, path, sizeof path);
  if (status != HTTP_STATUS_OK || !path[0]) return nullptr;
  PpdPtr ppd(ppdOpenFile(path));
  // The copy (or link) CUPS made in the temporary folder is ours to remove.
  ::unlink(path);
  if (ppd) ppdMarkDefaults(ppd.get());
  return ppd;
}

int hundredthsOfPoints(float points) { return static_cast<int>(std::lround(points * 2540.0 / 72.0)); }

PaperCatalog ppdCatalog(ppd_file_t& ppd) {
  PaperCatalog catalog;
  ppd_option_t* pageSize = ppdFindOption(&ppd, "PageSize");
  for (int i = 0; i < ppd.num_sizes; ++i) {
    const ppd_size_t& size = ppd.sizes[i];
    if (std::string_view(size.name) == "Custom") continue;
    PaperSize paper{size.name, size.name, hundredthsOfPoints(size.width), hundredthsOfPoints(size.length)};
    if (ppd_choice_t* choice = pageSize ? ppdFindChoice(pageSize, size.name) : nullptr; choice && choice->text[0])
      paper.formName = choice->text;
    catalog.sizes.push_back(paper);
  }
  if (ppd_size_t* marked = ppdPageSize(&ppd, nullptr)) {
    for (const PaperSize& paper : catalog.sizes)
      if (paper.name == marked->name) catalog.defaultSize = paper;
  }
  ppd_size_t least{}, most{};
  if (ppd.variable_sizes && ppdPageSizeLimits(&ppd, &least, &most)) {
    catalog.custom = true;
    catalog.customMinWidth = hundredthsOfPoints(least.width);
    catalog.customMinLength = hundredthsOfPoints(least.length);
    catalog.customMaxWidth = hundredthsOfPoints(most.width);
    catalog.customMaxLength = hundredthsOfPoints(most.length);
  }
  return catalog;
}

std::string squeezed(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (std::isalnum(static_cast<unsigned char>(*p))) out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return out;
}

struct TrackingOption {
  ppd_option_t* option = nullptr;
  std::string gapChoice;
};

// The option whose name says it tracks media, when one of its choices senses
// the gap between labels (some drivers call it the web, some the notch).
std::optional<TrackingOption> trackingOption(ppd_file_t& ppd) {
  for (ppd_option_t* option = ppdFirstOption(&ppd); option; option = ppdNextOption(&ppd)) {
    if (squeezed(option->keyword).find("mediatracking") == std::string::npos &&
        squeezed(option->text).find("mediatracking") == std::string::npos)
      continue;
    for (int i = 0; i < option->num_choices; ++i) {
      std::string choice = squeezed(option->choices[i].choice);
      if (choice.find("gap") != std::string::npos || choice.find("web") != std::string::npos ||
          choice.find("notch") != std::string::npos)
        return TrackingOption{option, option->choices[i].choice};
    }
  }
  return std::nullopt;
}

std::optional<MediaTracking> mediaTracking(ppd_file_t& ppd, const cups_dest_t& dest) {
  auto tracking = trackingOption(ppd);
  if (!tracking) return std::nullopt;
  ppd_option_t* option = tracking->option;
  std::string current = option->defchoice;
  if (auto chosen = destOption(dest, option->keyword); chosen && ppdFindChoice(option, chosen->c_str()))
    current = *chosen;
  return MediaTracking{option->keyword, current, tracking->gapChoice};
}

// ---- Paper from IPP attributes ----------------------------------------------------

PaperCatalog ippCatalog(cups_dest_t& dest, cups_dinfo_t& info) {
  PaperCatalog catalog;
  ipp_attribute_t* supported = cupsFindDestSupported(CUPS_HTTP_DEFAULT, &dest, &info, "media");
  catalog.listed = supported != nullptr;
  for (int i = 0; supported && i < ippGetCount(supported); ++i) {
    const char* name = ippGetString(supported, i, nullptr);
    if (!name) continue;
    const pwg_media_t* media = pwgMediaForPWG(name);
    if (!media) continue;
    if (startsWithNoCase(name, "custom_min_")) {
      catalog.custom = true;
      catalog.customMinWidth = media->width;
      catalog.customMinLength = media->length;
    } else if (startsWithNoCase(name, "custom_max_")) {
      catalog.custom = true;
      catalog.customMaxWidth = media->width;
      catalog.customMaxLength = media->length;
    } else {
      PaperSize paper{name, "", media->width, media->length};
      if (!startsWithNoCase(name, "custom_") && media->ppd) paper.formName = media->ppd;
      catalog.sizes.push_back(paper);
    }
  }
  if (ipp_attribute_t* media = cupsFindDestDefault(CUPS_HTTP_DEFAULT, &dest, &info, "media")) {
    if (const char* name = ippGetString(media, 0, nullptr)) {
      for (const PaperSize& paper : catalog.sizes)
        if (paper.name == name) catalog.defaultSize = paper;
      if (!catalog.defaultSize) catalog.defaultSize = cups::resolvePaper(PaperCatalog{.listed = false}, std::string(name));
    }
  }
  return catalog;
}

PaperSetup setupFrom(const std::optional<PaperSize>& paper, bool supportsCustom, std::optional<MediaTracking> media) {
  PaperSetup setup;
  setup.supportsCustom = supportsCustom;
  setup.media = std::move(media);
  if (paper) {
    setup.formName = paper->formName;
    setup.widthMm = paper->width / 100.0;
    setup.heightMm = paper->length / 100.0;
  }
  return setup;
}

// What can be told from the destination's own options when its printer
// cannot be asked: the size the user stored, if any.
std::optional<PaperSetup> setupFromOptions(const cups_dest_t& dest) {
  auto paper = cups::resolvePaper(PaperCatalog{.listed = false}, requestedPaper(dest));
  if (!paper) return std::nullopt;
  return setupFrom(paper, true, std::nullopt);
}

// ---- The user's lpoptions -------------------------------------------------------------

// Whether the user's own lpoptions names a default destination. cupsSetDests2
// writes the destination it was handed as default into that file, which would
// pin today's system default as the user's choice; it is only kept when the
// user had chosen one. Can go when CUPS leaves the default line alone.
bool userNamesDefault() {
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home) return false;
  std::ifstream file(std::string(home) + "/.cups/lpoptions");
  std::string line;
  while (std::getline(file, line))
    if (startsWithNoCase(line, "default ")) return true;
  return false;
}

int reportedResolution(cups_dest_t& dest, cups_dinfo_t& info) {
  ipp_attribute_t* attr = cupsFindDestDefault(CUPS_HTTP_DEFAULT, &dest, &info, "printer-resolution");
  if (!attr) return 0;
  int yres = 0;
  ipp_res_t units = IPP_RES_PER_INCH;
  int xres = ippGetResolution(attr, 0, &yres, &units);
  if (units == IPP_RES_PER_CM) return static_cast<int>(std::lround(xres * 2.54));
  return xres;
}

}  // namespace

// ---- Printer list -----------------------------------------------------------------------

Result<PrinterList> listPrinters() {
  DestList dests;
  if (!dests.load()) return fail(std::string(kListFailed));
  PrinterList list;
  for (const cups_dest_t& dest : dests.all()) {
    PrinterStatus status;
    status.name = destName(dest);
    status.isOnline = cups::queueIsOnline(destOption(dest, "printer-state-reasons").value_or(""),
                                          destOption(dest, "printer-is-accepting-jobs").value_or("true") != "false");
    if (dest.is_default) list.defaultName = status.name;
    list.printers.push_back(std::move(status));
  }
  return list;
}

Result<std::string> defaultPrinterName() {
  DestList dests;
  if (!dests.load()) return fail("Не удалось узнать принтер по умолчанию — выберите принтер в настройках");
  for (const cups_dest_t& dest : dests.all())
    if (dest.is_default) return destName(dest);
  return fail("В системе нет принтера по умолчанию — выберите принтер в настройках");
}

// ---- Paper ---------------------------------------------------------------------------------

Result<std::optional<PaperSetup>> readPaperSetup(const std::string& printer) {
  DestPtr dest = namedDest(printer);
  if (dest) {
    InfoPtr info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
    if (info) {
      if (PpdPtr ppd = fetchPpd(*dest)) {
        PaperCatalog catalog = ppdCatalog(*ppd);
        return std::optional(setupFrom(cups::resolvePaper(catalog, requestedPaper(*dest)), catalog.custom,
                                       mediaTracking(*ppd, *dest)));
      }
      PaperCatalog catalog = ippCatalog(*dest, *info);
      return std::optional(
          setupFrom(cups::resolvePaper(catalog, requestedPaper(*dest)), catalog.custom || !catalog.listed, std::nullopt));
    }
    return setupFromOptions(*dest);
  }
  // Not reachable by name: what the destination list itself says.
  DestList dests;
  if (!dests.load()) return fail(std::string(kReadFailed));
  for (const cups_dest_t& entry : dests.all())
    if (destName(entry) == printer) return setupFromOptions(entry);
  return std::optional<PaperSetup>{};
}

Status storePaperSize(const std::string& printer, int widthTenths, int heightTenths) {
  DestList dests;
  if (!dests.load()) return fail(std::string(kNotOpened));
  NameParts parts = splitName(printer);
  cups_dest_t* dest = cupsGetDest(parts.printer.c_str(), parts.instance ? parts.instance->c_str() : nullptr,
                                  dests.count(), dests.data());
  if (!dest) return fail(std::string(kNotOpened));

  for (const char* name : {"PageSize", "PageRegion"})
    dest->num_options = cupsRemoveOption(name, dest->num_options, &dest->options);
  dest->num_options = cupsAddOption("media", cups::customMediaName(widthTenths, heightTenths).c_str(),
                                    dest->num_options, &dest->options);
  if (PpdPtr ppd = fetchPpd(*dest)) {
    if (auto tracking = trackingOption(*ppd))
      dest->num_options = cupsAddOption(tracking->option->keyword, tracking->gapChoice.c_str(), dest->num_options,
                                        &dest->options);
  }
  if (!userNamesDefault())
    for (cups_dest_t& entry : dests.all()) entry.is_default = 0;
  if (cupsSetDests2(CUPS_HTTP_DEFAULT, dests.count(), dests.data()) != 0) return fail(std::string(kNotStored));
  return {};
}

// ---- Jobs --------------------------------------------------------------------------------------

struct PrintTarget::State {
  std::string name;
  DestPtr dest;
  InfoPtr info;
  int dpi = 0;
};

PrintTarget::PrintTarget(std::unique_ptr<State> state) : state_(std::move(state)) {}
PrintTarget::PrintTarget(PrintTarget&&) noexcept = default;
PrintTarget& PrintTarget::operator=(PrintTarget&&) noexcept = default;
PrintTarget::~PrintTarget() = default;

Result<PrintTarget> PrintTarget::open(const std::string& printer) {
  auto state = std::make_unique<State>();
  state->name = printer;
  state->dest = namedDest(printer);
  if (!state->dest) return fail(quoted("Принтер ", printer, " не открылся"));
  state->info.reset(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, state->dest.get()));
  if (!state->info) return fail(quoted("Драйвер принтера ", printer, " не отдал настройки"));
  state->dpi = reportedResolution(*state->dest, *state->info);
  return PrintTarget(std::move(state));
}

int PrintTarget::reportedDpi() const { return state_->dpi; }

Status PrintTarget::submit(std::span<const std::uint8_t> pdf, const std::optional<JobPaper>& paper,
                           const std::string& title) {
  std::size_t offset = 0;
  return send(
      [&](std::span<char> buffer) -> Result<std::size_t> {
        std::size_t length = std::min(buffer.size(), pdf.size() - offset);
        std::memcpy(buffer.data(), pdf.data() + offset, length);
        offset += length;
        return length;
      },
      paper, title);
}

Status PrintTarget::submitFile(const std::filesystem::path& pdf, const std::optional<JobPaper>& paper,
                               const std::string& title) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(pdf.c_str(), "rb"), &std::fclose);
  if (!file) return fail("Не удалось прочитать файл для печати: " + errnoText(errno));
  return send(
      [&](std::span<char> buffer) -> Result<std::size_t> {
        std::size_t length = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (length < buffer.size() && std::ferror(file.get()))
          return fail("Не удалось прочитать файл для печати: " + errnoText(errno ? errno : EIO));
        return length;
      },
      paper, title);
}

Status PrintTarget::send(const ChunkSource& next, const std::optional<JobPaper>& paper, const std::string& title) {
  cups_dest_t* dest = state_->dest.get();
  cups_dinfo_t* info = state_->info.get();

  // The user's own options as `lp` would send them, then what every job needs:
  // the page exactly as drawn, once.
  Options options;
  for (int i = 0; i < dest->num_options; ++i) {
    // The destination also carries the queue's own description; that is not the job's.
    std::string_view name = dest->options[i].name;
    if (name.starts_with("printer-") || name.starts_with("marker-") || name == "device-uri" ||
        name == "auth-info-required")
      continue;
    options.set(dest->options[i].name, dest->options[i].value);
  }
  for (const char* name : {"fit-to-page", "scaling", "landscape", "number-up", "page-ranges"}) options.remove(name);
  options.set("print-scaling", "none");
  options.set("orientation-requested", "3");
  options.set("copies", "1");
  if (paper) {
    for (const char* name : {"PageSize", "PageRegion"}) options.remove(name);
    options.set("media", cups::customMediaName(paper->widthTenths, paper->heightTenths));
  }

  // A connection of the job's own to the scheduler, which queues it for the
  // printer wherever that is.
  HttpPtr http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr));
  if (!http) return fail(quoted("Не удалось начать печать на ", state_->name, ""));

  // Any successful status counts: an option the queue ignores does not stop the job.
  auto succeeded = [](ipp_status_t status) { return status <= IPP_STATUS_OK_EVENTS_COMPLETE; };
  int jobId = 0;
  if (!succeeded(cupsCreateDestJob(http.get(), dest, info, &jobId, title.c_str(), options.count(), options.data())) ||
      jobId <= 0)
    return fail("Принтер не принял задание");

  // From here on a failure cancels the job, so the queue never keeps a half-sent one.
  auto cancel = [&](std::string message) -> Status {
    http.reset();
    (void)cupsCancelDestJob(CUPS_HTTP_DEFAULT, dest, jobId);
    return fail(std::move(message));
  };
  if (cupsStartDestDocument(http.get(), dest, info, jobId, title.c_str(), CUPS_FORMAT_PDF, 0, nullptr, 1) !=
      HTTP_STATUS_CONTINUE)
    return cancel("Принтер не принял задание");
  std::vector<char> chunk(65536);
  for (;;) {
    auto length = next(chunk);
    if (!length) return cancel(length.error());
    if (*length == 0) break;
    if (cupsWriteRequestData(http.get(), chunk.data(), *length) != HTTP_STATUS_CONTINUE)
      return cancel("Принтер прервал печать страницы");
  }
  if (!succeeded(cupsFinishDestDocument(http.get(), dest, info))) return cancel("Принтер не завершил задание");
  return {};
}

}  // namespace zorvik::platform

#pragma GCC diagnostic pop
