// The engine's entry points bound from a loaded library. While an
// EngineLibrary lives the engine is initialised; only one may live per process.
// Used only on the renderer thread.
#pragma once

#include <expected>
#include <memory>
#include <string>

#include "platform/library.hpp"
#include "printing/engine_api.hpp"

namespace zorvik::printing {

struct BindFailure {
  enum class Kind {
    MissingFunction,     // the library lacks an entry point the host needs
    AlreadyInitialised,  // an engine is already running in this process
  };
  Kind kind;
  std::string description;
};

class EngineLibrary {
 public:
  // Binds every entry point the host uses and initialises the engine.
  [[nodiscard]] static std::expected<std::unique_ptr<EngineLibrary>, BindFailure> bind(platform::Library library);
  ~EngineLibrary();  // destroys the engine, then unloads the library
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;

  engine_api::InitLibraryFn initLibrary = nullptr;
  engine_api::DestroyLibraryFn destroyLibrary = nullptr;
  engine_api::LoadMemDocument64Fn loadMemDocument64 = nullptr;
  engine_api::CloseDocumentFn closeDocument = nullptr;
  engine_api::GetLastErrorFn getLastError = nullptr;
  engine_api::InitFormFillEnvironmentFn initFormFillEnvironment = nullptr;
  engine_api::ExitFormFillEnvironmentFn exitFormFillEnvironment = nullptr;
  engine_api::GetFormTypeFn getFormType = nullptr;
  engine_api::GetPageCountFn getPageCount = nullptr;
  engine_api::LoadPageFn loadPage = nullptr;
  engine_api::ClosePageFn closePage = nullptr;
  engine_api::GetPageSizeFFn getPageWidthF = nullptr;
  engine_api::GetPageSizeFFn getPageHeightF = nullptr;
  engine_api::BitmapCreateExFn bitmapCreateEx = nullptr;
  engine_api::BitmapFillRectFn bitmapFillRect = nullptr;
  engine_api::BitmapGetBufferFn bitmapGetBuffer = nullptr;
  engine_api::BitmapGetIntFn bitmapGetStride = nullptr;
  engine_api::BitmapGetIntFn bitmapGetWidth = nullptr;
  engine_api::BitmapGetIntFn bitmapGetHeight = nullptr;
  engine_api::BitmapDestroyFn bitmapDestroy = nullptr;
  engine_api::RenderPageBitmapFn renderPageBitmap = nullptr;
  engine_api::FFLDrawFn fflDraw = nullptr;

 private:
  explicit EngineLibrary(platform::Library library) : library_(std::move(library)) {}
  platform::Library library_;
};

// The engine's last-error code in words, for "Не удалось разобрать PDF: {}".
[[nodiscard]] std::string engineErrorText(unsigned long code);

}  // namespace zorvik::printing
