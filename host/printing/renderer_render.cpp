#include "printing/renderer_render.hpp"

#include <cmath>
#include <cstring>
#include <string>
#include <limits>
#include <new>

namespace zorvik::printing {

namespace api = engine_api;

namespace {

// Owners of the engine's handles; each is freed by the engine that made it.
template <class Handle>
class Owned {
 public:
  using Free = void (*)(Handle*);
  Owned(Handle* handle, Free free) : handle_(handle), free_(free) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    if (handle_) free_(handle_);
  }
  Handle* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Handle* handle_;
  Free free_;
};

Result<RenderedPage> renderPage(const EngineLibrary& e, api::Page* page, api::Form* form, std::int32_t dpi) {
  double width = e.getPageWidthF(page), height = e.getPageHeightF(page);
  std::int32_t w = pixelsFor(width, dpi), h = pixelsFor(height, dpi);
  if (static_cast<std::int64_t>(w) * h > kMaxPagePixels)
    return fail("Страница слишком большая для печати: " + std::to_string(w) + " × " + std::to_string(h) + " точек");
  bool small = std::max(width, height) <= kSmallPagePoints;

  Owned<api::Bitmap> bitmap(e.bitmapCreateEx(w, h, api::kBitmapBGRA, nullptr, 0), e.bitmapDestroy);
  if (!bitmap) return failWith("Не удалось нарисовать страницу: ", engineErrorText(e.getLastError()));
  e.bitmapFillRect(bitmap.get(), 0, 0, w, h, 0xFFFFFFFF);
  int flags = renderFlags(small);
  e.renderPageBitmap(bitmap.get(), page, 0, 0, w, h, 0, flags);
  if (form) e.fflDraw(form, bitmap.get(), page, 0, 0, w, h, 0, flags);

  RenderedPage out;
  out.widthPt = width;
  out.heightPt = height;
  out.widthPx = e.bitmapGetWidth(bitmap.get());
  out.heightPx = e.bitmapGetHeight(bitmap.get());
  const auto* buffer = static_cast<const std::uint8_t*>(e.bitmapGetBuffer(bitmap.get()));
  int stride = e.bitmapGetStride(bitmap.get());
  std::size_t row = static_cast<std::size_t>(out.widthPx) * 4;
  if (!buffer || out.widthPx <= 0 || out.heightPx <= 0 || stride < static_cast<int>(row))
    return failWith("Не удалось нарисовать страницу: ", engineErrorText(e.getLastError()));
  try {
    out.pixels.resize(row * static_cast<std::size_t>(out.heightPx));
  } catch (const std::bad_alloc&) {
    return fail("Не удалось нарисовать страницу: недостаточно памяти");
  }
  for (std::int32_t y = 0; y < out.heightPx; ++y)
    std::memcpy(out.pixels.data() + row * static_cast<std::size_t>(y),
                buffer + static_cast<std::ptrdiff_t>(stride) * y, row);

  // The engine filled red-green-blue-alpha (reverse byte order): turn it back.
  if (flags & api::kReverseByteOrder) swapRedAndBlue(out.pixels);
  if (small) thresholdToBlackAndWhite(out.pixels);
  return out;
}

}  // namespace

std::int32_t pixelsFor(double points, std::int32_t dpi) {
  double px = std::round(points * dpi / 72.0);
  if (!std::isfinite(px) || !(px >= 1)) return 1;
  if (px >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(px);
}

int renderFlags(bool smallPage) {
  int flags = api::kAnnot | api::kReverseByteOrder;
  if (smallPage) flags |= api::kNoSmoothText | api::kNoSmoothPath;
  return flags;
}

void thresholdToBlackAndWhite(Bytes& pixels) {
  for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) {
    unsigned weight = 29U * pixels[i] + 150U * pixels[i + 1] + 77U * pixels[i + 2];
    std::uint8_t v = weight >= 0xA000 ? 255 : 0;
    pixels[i] = pixels[i + 1] = pixels[i + 2] = v;
    pixels[i + 3] = 255;
  }
}

void swapRedAndBlue(Bytes& pixels) {
  for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
}

Result<RenderedPages> renderDocument(const EngineLibrary& e, const Bytes& pdf, std::int32_t dpi) {
  Owned<api::Document> doc(e.loadMemDocument64(pdf.data(), pdf.size(), nullptr), e.closeDocument);
  if (!doc) return failWith("Не удалось разобрать PDF: ", engineErrorText(e.getLastError()));

  // With an interactive form the fields are drawn by the form environment.
  api::FormFillInfo formInfo;
  api::Form* formHandle = nullptr;
  if (e.getFormType(doc.get()) != 0) formHandle = e.initFormFillEnvironment(doc.get(), &formInfo);
  Owned<api::Form> form(formHandle, e.exitFormFillEnvironment);

  RenderedPages pages;
  int count = e.getPageCount(doc.get());
  for (int i = 0; i < count; ++i) {
    Owned<api::Page> page(e.loadPage(doc.get(), i), e.closePage);
    if (!page) break;  // the pages before a broken one are still printed
    auto rendered = renderPage(e, page.get(), form.get(), dpi);
    if (!rendered) return fail(rendered.error());
    pages.push_back(std::move(*rendered));
  }
  if (pages.empty()) return fail("В PDF нет страниц");
  return pages;
}

}  // namespace zorvik::printing
