#include "printing/renderer_render.hpp"

#include <algorithm>
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

// Pages as large as an A4 page at 300 dpi in colour keep their buffer between jobs.
constexpr std::size_t kKeptBufferBytes = 40u << 20;

Status renderPage(const EngineLibrary& e, api::Page* page, api::Form* form, std::int32_t dpi, PageBuffer& buffer,
                  const PageSink& sink) {
  double width = e.getPageWidthF(page), height = e.getPageHeightF(page);
  std::int32_t w = pixelsFor(width, dpi), h = pixelsFor(height, dpi);
  if (static_cast<std::int64_t>(w) * h > kMaxPagePixels)
    return fail("Страница слишком большая для печати: " + std::to_string(w) + " × " + std::to_string(h) + " точек");
  bool small = std::max(width, height) <= kSmallPagePoints;

  // Labels go to black-and-white printers: drawn as grey, one byte a pixel.
  PageImage image;
  image.kind = small ? PixelKind::Grey : PixelKind::Bgra;
  image.blackAndWhite = small;
  image.stride = static_cast<std::size_t>(w) * (small ? 1 : 4);
  std::uint8_t* memory = buffer.reserve(image.stride * static_cast<std::size_t>(h));
  if (!memory) return fail("Не удалось нарисовать страницу: недостаточно памяти");

  Owned<api::Bitmap> bitmap(e.bitmapCreateEx(w, h, small ? api::kBitmapGray : api::kBitmapBGRA, memory,
                                             static_cast<int>(image.stride)),
                            e.bitmapDestroy);
  if (!bitmap) return failWith("Не удалось нарисовать страницу: ", engineErrorText(e.getLastError()));
  e.bitmapFillRect(bitmap.get(), 0, 0, w, h, 0xFFFFFFFF);
  int flags = renderFlags(small);
  e.renderPageBitmap(bitmap.get(), page, 0, 0, w, h, 0, flags);
  if (form) e.fflDraw(form, bitmap.get(), page, 0, 0, w, h, 0, flags);

  image.widthPt = width;
  image.heightPt = height;
  image.widthPx = e.bitmapGetWidth(bitmap.get());
  image.heightPx = e.bitmapGetHeight(bitmap.get());
  image.pixels = static_cast<const std::uint8_t*>(e.bitmapGetBuffer(bitmap.get()));
  if (image.pixels != memory || image.widthPx != w || image.heightPx != h ||
      e.bitmapGetStride(bitmap.get()) != static_cast<int>(image.stride))
    return failWith("Не удалось нарисовать страницу: ", engineErrorText(e.getLastError()));
  return sink(image);
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
  int flags = api::kAnnot;
  if (smallPage) flags |= api::kNoSmoothText | api::kNoSmoothPath;
  return flags;
}

RenderedPage keepPage(const PageImage& page) {
  RenderedPage kept{Bytes(), page.widthPt, page.heightPt, page.widthPx, page.heightPx, page.kind};
  std::size_t row = static_cast<std::size_t>(page.widthPx) * (page.kind == PixelKind::Grey ? 1 : 4);
  kept.pixels.resize(row * static_cast<std::size_t>(page.heightPx));
  for (std::int32_t y = 0; y < page.heightPx; ++y) {
    const std::uint8_t* src = page.pixels + page.stride * static_cast<std::size_t>(y);
    std::uint8_t* dst = kept.pixels.data() + row * static_cast<std::size_t>(y);
    if (page.blackAndWhite) {
      for (std::size_t x = 0; x < row; ++x) dst[x] = isWhite(src[x]) ? 255 : 0;
    } else {
      std::memcpy(dst, src, row);
    }
  }
  return kept;
}

PageImage viewOf(const RenderedPage& page) {
  PageImage view;
  view.pixels = page.pixels.data();
  view.kind = page.kind;
  view.stride = static_cast<std::size_t>(page.widthPx) * (page.kind == PixelKind::Grey ? 1 : 4);
  view.widthPt = page.widthPt;
  view.heightPt = page.heightPt;
  view.widthPx = page.widthPx;
  view.heightPx = page.heightPx;
  return view;
}

std::uint8_t* PageBuffer::reserve(std::size_t bytes) {
  if (bytes > size_) {
    data_.reset();
    size_ = 0;
    // Not value-initialised: the engine writes every pixel before anyone reads it.
    data_.reset(new (std::nothrow) std::uint8_t[bytes]);
    if (!data_) return nullptr;
    size_ = bytes;
  }
  return data_.get();
}

void PageBuffer::trim() {
  if (size_ <= kKeptBufferBytes) return;
  data_.reset();
  size_ = 0;
}

Result<std::size_t> renderDocument(const EngineLibrary& e, const Bytes& pdf, std::int32_t dpi, PageBuffer& buffer,
                                   const PageSink& sink) {
  Owned<api::Document> doc(e.loadMemDocument64(pdf.data(), pdf.size(), nullptr), e.closeDocument);
  if (!doc) return failWith("Не удалось разобрать PDF: ", engineErrorText(e.getLastError()));

  // With an interactive form the fields are drawn by the form environment.
  api::FormFillInfo formInfo;
  api::Form* formHandle = nullptr;
  if (e.getFormType(doc.get()) != 0) formHandle = e.initFormFillEnvironment(doc.get(), &formInfo);
  Owned<api::Form> form(formHandle, e.exitFormFillEnvironment);

  std::size_t pages = 0;
  int count = e.getPageCount(doc.get());
  for (int i = 0; i < count; ++i) {
    Owned<api::Page> page(e.loadPage(doc.get(), i), e.closePage);
    if (!page) break;  // the pages before a broken one are still printed
    if (auto drawn = renderPage(e, page.get(), form.get(), dpi, buffer, sink); !drawn) return fail(drawn.error());
    ++pages;
  }
  if (pages == 0) return fail("В PDF нет страниц");
  return pages;
}

}  // namespace zorvik::printing
