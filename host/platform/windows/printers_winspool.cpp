// Printers through the Windows print spooler (winspool) and jobs through GDI:
// each page of the job's PDF is one image, drawn at the printer's resolution
// with StretchDIBits in bands.
#include "platform/printers.hpp"

#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/utf8_path.hpp"
#include "platform/windows/job_pages.hpp"
#include "platform/windows/win32.hpp"

namespace zorvik::platform {

namespace {

constexpr DWORD kEnumFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
constexpr std::string_view kNotOpened = "Принтер не открылся — проверьте, подключён ли он";
constexpr std::string_view kNotStored = "Система не дала сохранить настройку печати этого принтера";
constexpr std::string_view kNoDevmode = "Драйвер принтера не отдал настройки печати";
constexpr std::string_view kDevmodeUnread = "Не удалось прочитать настройки печати";
constexpr int kDefaultDpi = 203;
// Rows drawn per StretchDIBits call: a label page is a few bands, an A4 page
// at 600 dpi does not need one 270 MB bitmap.
constexpr int kBandRows = 256;

std::string quoted(std::string_view head, const std::string& name, std::string_view tail) {
  return std::string(head) + "«" + name + "»" + std::string(tail);
}

struct PrinterHandle {
  HANDLE h = nullptr;
  PrinterHandle() = default;
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
  ~PrinterHandle() {
    if (h) ::ClosePrinter(h);
  }
};

bool openPrinter(const std::wstring& name, PrinterHandle& out) {
  return ::OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &out.h, nullptr) && out.h;
}

// The printer's device mode as the driver gives it; empty with `error` set on failure.
std::vector<std::byte> readDevmode(HANDLE printer, const std::wstring& name, std::string& error) {
  const LONG size = ::DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()), nullptr, nullptr, 0);
  if (size < 1) {
    error = kNoDevmode;
    return {};
  }
  std::vector<std::byte> buffer(static_cast<std::size_t>(size));
  if (::DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()),
                            reinterpret_cast<DEVMODEW*>(buffer.data()), nullptr, DM_OUT_BUFFER) < 0) {
    error = kDevmodeUnread;
    return {};
  }
  return buffer;
}

// The enumeration's level-2 records; nullopt when the spooler cannot be asked.
std::optional<std::vector<std::byte>> enumerate(DWORD& count) {
  DWORD needed = 0;
  count = 0;
  ::EnumPrintersW(kEnumFlags, nullptr, 2, nullptr, 0, &needed, &count);
  if (needed == 0) return std::vector<std::byte>{};
  std::vector<std::byte> buffer(needed);
  if (!::EnumPrintersW(kEnumFlags, nullptr, 2, reinterpret_cast<BYTE*>(buffer.data()), needed, &needed, &count))
    return std::nullopt;
  return buffer;
}

std::optional<std::string> queryDefault(bool& failed) {
  failed = false;
  DWORD length = 0;
  ::GetDefaultPrinterW(nullptr, &length);
  if (length == 0) return std::nullopt;
  std::wstring name(length, L'\0');
  if (!::GetDefaultPrinterW(name.data(), &length)) {
    failed = true;
    return std::nullopt;
  }
  name.resize(std::wcslen(name.c_str()));
  return win32::utf8(name);
}

PaperSetup setupFrom(const DEVMODEW& mode) {
  PaperSetup setup;
  std::wstring form(mode.dmFormName, wcsnlen(mode.dmFormName, CCHFORMNAME));
  setup.formName = win32::utf8(form);
  if ((mode.dmFields & DM_PAPERWIDTH) && (mode.dmFields & DM_PAPERLENGTH) && mode.dmPaperWidth > 0 &&
      mode.dmPaperLength > 0) {
    setup.widthMm = mode.dmPaperWidth / 10.0;
    setup.heightMm = mode.dmPaperLength / 10.0;
  } else if (mode.dmFields & DM_PAPERSIZE) {
    struct Known {
      short code;
      double w, h;
    };
    for (const Known& k : {Known{DMPAPER_LETTER, 215.9, 279.4}, Known{DMPAPER_A4, 210, 297},
                           Known{DMPAPER_A5, 148, 210}, Known{DMPAPER_A6, 105, 148}}) {
      if (mode.dmPaperSize == k.code) {
        setup.widthMm = k.w;
        setup.heightMm = k.h;
      }
    }
  }
  setup.supportsCustom = true;
  return setup;
}

short clampTenths(int tenths) { return static_cast<short>(std::clamp(tenths, 1, 32767)); }

}  // namespace

Result<PrinterList> listPrinters() {
  PrinterList list;
  bool failed = false;
  list.defaultName = queryDefault(failed);
  DWORD count = 0;
  auto buffer = enumerate(count);
  if (!buffer) return fail("Не удалось получить список принтеров (EnumPrinters)");
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer->data());
  for (DWORD i = 0; i < count && !buffer->empty(); ++i) {
    PrinterStatus p;
    p.name = info[i].pPrinterName ? win32::utf8(info[i].pPrinterName) : std::string();
    p.isOnline = !(info[i].Status & (PRINTER_STATUS_ERROR | PRINTER_STATUS_OFFLINE)) &&
                 !(info[i].Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE);
    list.printers.push_back(std::move(p));
  }
  return list;
}

Result<std::string> defaultPrinterName() {
  bool failed = false;
  auto name = queryDefault(failed);
  if (failed) return fail("Не удалось узнать принтер по умолчанию — выберите принтер в настройках");
  if (!name) return fail("В системе нет принтера по умолчанию — выберите принтер в настройках");
  return *name;
}

Result<std::optional<PaperSetup>> readPaperSetup(const std::string& printer) {
  const std::wstring name = win32::wide(printer);
  {
    PrinterHandle handle;
    std::string error;
    if (openPrinter(name, handle)) {
      auto mode = readDevmode(handle.h, name, error);
      if (!mode.empty()) return std::optional<PaperSetup>(setupFrom(*reinterpret_cast<const DEVMODEW*>(mode.data())));
    }
  }
  // The printer did not open or its driver did not answer: the spooler's own record.
  DWORD count = 0;
  auto buffer = enumerate(count);
  if (!buffer) return fail("Не удалось прочитать настройки принтера (EnumPrinters)");
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer->data());
  for (DWORD i = 0; i < count && !buffer->empty(); ++i) {
    if (info[i].pPrinterName && name == info[i].pPrinterName && info[i].pDevMode)
      return std::optional<PaperSetup>(setupFrom(*info[i].pDevMode));
  }
  return std::optional<PaperSetup>{};
}

Status storePaperSize(const std::string& printer, int widthTenths, int heightTenths) {
  const std::wstring name = win32::wide(printer);
  PrinterHandle handle;
  if (!openPrinter(name, handle)) return fail(std::string(kNotOpened));
  std::string error;
  auto mode = readDevmode(handle.h, name, error);
  if (mode.empty()) return fail(error);
  auto* dm = reinterpret_cast<DEVMODEW*>(mode.data());
  dm->dmFields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  dm->dmPaperSize = DMPAPER_USER;
  dm->dmPaperWidth = clampTenths(widthTenths);
  dm->dmPaperLength = clampTenths(heightTenths);
  std::vector<std::byte> merged(mode.size());
  if (::DocumentPropertiesW(nullptr, handle.h, const_cast<wchar_t*>(name.c_str()),
                            reinterpret_cast<DEVMODEW*>(merged.data()), dm, DM_IN_BUFFER | DM_OUT_BUFFER) < 0)
    return fail("Драйвер не принял размер этикетки");
  // The user's own default: the printer-wide defaults stay as they are.
  PRINTER_INFO_9W perUser{reinterpret_cast<DEVMODEW*>(merged.data())};
  if (!::SetPrinterW(handle.h, 9, reinterpret_cast<BYTE*>(&perUser), 0)) return fail(std::string(kNotStored));
  return {};
}

// ---- Jobs -------------------------------------------------------------------------

struct PrintTarget::State {
  std::string name;
  std::wstring wideName;
  PrinterHandle printer;
  std::vector<std::byte> devmode;
  int dpi = 0;
};

PrintTarget::PrintTarget(std::unique_ptr<State> state) : state_(std::move(state)) {}
PrintTarget::PrintTarget(PrintTarget&&) noexcept = default;
PrintTarget& PrintTarget::operator=(PrintTarget&&) noexcept = default;
PrintTarget::~PrintTarget() = default;

Result<PrintTarget> PrintTarget::open(const std::string& printer) {
  auto state = std::make_unique<State>();
  state->name = printer;
  state->wideName = win32::wide(printer);
  if (!openPrinter(state->wideName, state->printer)) return fail(quoted("Принтер ", printer, " не открылся"));
  std::string error;
  state->devmode = readDevmode(state->printer.h, state->wideName, error);
  if (state->devmode.empty()) return fail(quoted("Драйвер принтера ", printer, " не отдал настройки"));
  // The resolution the driver reports for its information context.
  HDC ic = ::CreateICW(nullptr, state->wideName.c_str(), nullptr,
                       reinterpret_cast<const DEVMODEW*>(state->devmode.data()));
  if (ic) {
    state->dpi = std::max(0, ::GetDeviceCaps(ic, LOGPIXELSX));
    ::DeleteDC(ic);
  }
  return PrintTarget(std::move(state));
}

int PrintTarget::reportedDpi() const { return state_->dpi; }

Status PrintTarget::submit(std::span<const std::uint8_t> pdf, const std::optional<JobPaper>& paper,
                           const std::string& title) {
  // GDI needs the pages decoded: the bytes go through a file of the job's own.
  wchar_t folder[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, folder);
  wchar_t file[MAX_PATH + 1];
  if (n == 0 || !::GetTempFileNameW(folder, L"zvj", 0, file)) return fail(win32::lastErrorText());
  struct Remove {
    const wchar_t* path;
    ~Remove() { ::DeleteFileW(path); }
  } remove{file};
  win32::Handle out(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
  DWORD written = 0;
  if (!out || !::WriteFile(out.get(), pdf.data(), static_cast<DWORD>(pdf.size()), &written, nullptr) ||
      written != pdf.size())
    return fail("Не удалось сохранить этикетку: " + win32::lastErrorText());
  out.reset();
  return submitFile(std::filesystem::path(file), paper, title);
}

Status PrintTarget::submitFile(const std::filesystem::path& pdf, const std::optional<JobPaper>& paper,
                               const std::string& title) {
  State& s = *state_;
  auto* dm = reinterpret_cast<DEVMODEW*>(s.devmode.data());
  dm->dmFields |= DM_ORIENTATION | DM_COPIES;
  dm->dmOrientation = DMORIENT_PORTRAIT;
  dm->dmCopies = 1;
  if (paper) {
    if (paper->widthTenths <= 0 || paper->heightTenths <= 0) return fail("Размер этикетки задан неверно");
    dm->dmFields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
    dm->dmPaperSize = DMPAPER_USER;
    dm->dmPaperWidth = clampTenths(paper->widthTenths);
    dm->dmPaperLength = clampTenths(paper->heightTenths);
  }
  if (::DocumentPropertiesW(nullptr, s.printer.h, s.wideName.data(), dm, dm, DM_IN_BUFFER | DM_OUT_BUFFER) < 0)
    return fail("Драйвер не принял размер этикетки");

  HDC dc = ::CreateDCW(nullptr, s.wideName.c_str(), nullptr, dm);
  if (!dc) return fail(quoted("Не удалось начать печать на ", s.name, ""));
  struct DcOwner {
    HDC dc;
    ~DcOwner() { ::DeleteDC(dc); }
  } dcOwner{dc};
  auto resolution = [](int v) { return v < 1 ? kDefaultDpi : v; };
  const int dpiX = resolution(::GetDeviceCaps(dc, LOGPIXELSX));
  const int dpiY = resolution(::GetDeviceCaps(dc, LOGPIXELSY));
  const int offsetX = ::GetDeviceCaps(dc, PHYSICALOFFSETX);
  const int offsetY = ::GetDeviceCaps(dc, PHYSICALOFFSETY);
  ::SetStretchBltMode(dc, COLORONCOLOR);

  const std::wstring docName = win32::wide(title);
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = docName.c_str();
  if (::StartDocW(dc, &doc) < 1) return fail("Принтер не принял задание");

  std::string failure;
  auto pixels = [](double pt, int dpi) -> int {
    if (!std::isfinite(pt) || pt <= 0) return 1;
    const double v = std::round(pt * dpi / 72.0);
    return v < 2 ? 1 : v > 2147483647.0 ? 2147483647 : static_cast<int>(v);
  };
  std::string readError;
  const bool read = windows_print::forEachJobPage(utf8Text(pdf), [&](const windows_print::JobPage& page) {
    if (::StartPage(dc) < 1) {
      failure = "Принтер прервал печать страницы";
      return false;
    }
    const int destW = pixels(page.widthPt, dpiX);
    const int destH = pixels(page.heightPt, dpiY);
    const std::size_t rowBytes = (static_cast<std::size_t>(page.widthPx) * page.bitsPerPixel + 7) / 8;
    std::vector<std::uint32_t> band(static_cast<std::size_t>(page.widthPx) * kBandRows);
    bool drawn = true;
    for (int top = 0; top < page.heightPx && drawn; top += kBandRows) {
      const int rows = std::min(kBandRows, page.heightPx - top);
      for (int y = 0; y < rows; ++y) {
        const auto* src = reinterpret_cast<const unsigned char*>(page.pixels.data()) + (top + y) * rowBytes;
        std::uint32_t* dst = band.data() + static_cast<std::size_t>(y) * page.widthPx;
        for (int x = 0; x < page.widthPx; ++x) {
          std::uint32_t r, g, b;
          if (page.bitsPerPixel == 1) {
            r = g = b = (src[x >> 3] >> (7 - (x & 7)) & 1) ? 255 : 0;  // DeviceGray: 0 is black
          } else if (page.bitsPerPixel == 8) {
            r = g = b = src[x];
          } else {
            r = src[3 * x];
            g = src[3 * x + 1];
            b = src[3 * x + 2];
          }
          dst[x] = (r << 16) | (g << 8) | b;
        }
      }
      BITMAPINFO bmi{};
      bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      bmi.bmiHeader.biWidth = page.widthPx;
      bmi.bmiHeader.biHeight = -rows;  // rows top to bottom
      bmi.bmiHeader.biPlanes = 1;
      bmi.bmiHeader.biBitCount = 32;
      bmi.bmiHeader.biCompression = BI_RGB;
      // This band's share of the page, in device pixels, from the paper's physical corner.
      const long long y0 = static_cast<long long>(destH) * top / page.heightPx;
      const long long y1 = static_cast<long long>(destH) * (top + rows) / page.heightPx;
      drawn = ::StretchDIBits(dc, -offsetX, static_cast<int>(y0) - offsetY, destW, static_cast<int>(y1 - y0), 0, 0,
                              page.widthPx, rows, band.data(), &bmi, DIB_RGB_COLORS, SRCCOPY) != 0;
    }
    ::EndPage(dc);
    if (!drawn) {
      failure = "Принтер не принял изображение этикетки";
      return false;
    }
    return true;
  }, readError);
  if (!read) failure = "Не удалось прочитать файл для печати: " + readError;
  if (!failure.empty()) {
    ::AbortDoc(dc);
    return fail(failure);
  }
  if (::EndDoc(dc) <= 0) return fail("Принтер не завершил задание");
  return {};
}

}  // namespace zorvik::platform
