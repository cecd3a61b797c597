#include "printing/engine_library.hpp"

#include <atomic>

namespace zorvik::printing {

namespace {

// The engine keeps process-wide state: two live copies would share it.
std::atomic<bool> engineLive{false};

template <class Fn>
bool bindOne(const platform::Library& library, const char* name, Fn& slot, std::string& missing) {
  slot = reinterpret_cast<Fn>(library.symbol(name));
  if (!slot && missing.empty()) missing = name;
  return slot != nullptr;
}

}  // namespace

std::expected<std::unique_ptr<EngineLibrary>, BindFailure> EngineLibrary::bind(platform::Library library) {
  std::unique_ptr<EngineLibrary> e(new EngineLibrary(std::move(library)));
  const platform::Library& l = e->library_;
  std::string missing;
  bindOne(l, "FPDF_InitLibrary", e->initLibrary, missing);
  bindOne(l, "FPDF_DestroyLibrary", e->destroyLibrary, missing);
  bindOne(l, "FPDF_LoadMemDocument64", e->loadMemDocument64, missing);
  bindOne(l, "FPDF_CloseDocument", e->closeDocument, missing);
  bindOne(l, "FPDF_GetLastError", e->getLastError, missing);
  bindOne(l, "FPDFDOC_InitFormFillEnvironment", e->initFormFillEnvironment, missing);
  bindOne(l, "FPDFDOC_ExitFormFillEnvironment", e->exitFormFillEnvironment, missing);
  bindOne(l, "FPDF_GetFormType", e->getFormType, missing);
  bindOne(l, "FPDF_GetPageCount", e->getPageCount, missing);
  bindOne(l, "FPDF_LoadPage", e->loadPage, missing);
  bindOne(l, "FPDF_ClosePage", e->closePage, missing);
  bindOne(l, "FPDF_GetPageWidthF", e->getPageWidthF, missing);
  bindOne(l, "FPDF_GetPageHeightF", e->getPageHeightF, missing);
  bindOne(l, "FPDFBitmap_CreateEx", e->bitmapCreateEx, missing);
  bindOne(l, "FPDFBitmap_FillRect", e->bitmapFillRect, missing);
  bindOne(l, "FPDFBitmap_GetBuffer", e->bitmapGetBuffer, missing);
  bindOne(l, "FPDFBitmap_GetStride", e->bitmapGetStride, missing);
  bindOne(l, "FPDFBitmap_GetWidth", e->bitmapGetWidth, missing);
  bindOne(l, "FPDFBitmap_GetHeight", e->bitmapGetHeight, missing);
  bindOne(l, "FPDFBitmap_Destroy", e->bitmapDestroy, missing);
  bindOne(l, "FPDF_RenderPageBitmap", e->renderPageBitmap, missing);
  bindOne(l, "FPDF_FFLDraw", e->fflDraw, missing);
  if (!missing.empty()) {
    e->destroyLibrary = nullptr;  // never initialised: nothing to destroy
    return std::unexpected(BindFailure{BindFailure::Kind::MissingFunction, "в библиотеке нет функции " + missing});
  }
  if (engineLive.exchange(true)) {
    e->destroyLibrary = nullptr;
    return std::unexpected(BindFailure{BindFailure::Kind::AlreadyInitialised,
                                       "библиотека печати уже инициализирована в этом процессе"});
  }
  e->initLibrary();
  return e;
}

EngineLibrary::~EngineLibrary() {
  if (destroyLibrary) {
    destroyLibrary();
    engineLive = false;
  }
}

std::string engineErrorText(unsigned long code) {
  switch (code) {
    case engine_api::kErrFile: return "файл не найден или не читается";
    case engine_api::kErrFormat: return "файл повреждён или это не PDF";
    case engine_api::kErrPassword: return "файл защищён паролем";
    case engine_api::kErrSecurity: return "файл защищён неподдерживаемым способом";
    case engine_api::kErrPage: return "страница не найдена или повреждена";
    default: return "неизвестная ошибка";
  }
}

}  // namespace zorvik::printing
