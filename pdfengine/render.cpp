// Drawing pages and form fields into bitmaps with poppler's Splash renderer.
//
// Both entry points draw onto what the bitmap already holds: the covered
// pixels are handed to Splash as its background, drawn over, and copied back,
// so a white fill, a page and then its form fields build one picture.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine.hpp"

#include <Annot.h>
#include <Gfx.h>
#include <PDFDoc.h>
#include <Page.h>
#include <SplashOutputDev.h>
#include <splash/SplashBitmap.h>

using namespace pdfengine;

namespace {

// Splash's own bitmap for one band stays near this size.
constexpr long long kBandBytes = 8LL << 20;

enum class Layer {
  Page,        // content, and with kFlagAnnot the annotations
  FormFields,  // only the widget annotations
};

// Splash keeps blue, green, red, unused in memory (XBGR8), or one grey byte
// per pixel (Mono8), and coverage in a separate alpha plane; the engine's
// reverse-byte-order flag asks for red, green, blue, alpha in the bitmap.
// Colour pixels are moved as 32-bit words, grey rows as they are.
inline std::uint32_t load(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store(unsigned char* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline std::uint32_t swapRedBlue(std::uint32_t v) {
  return (v & 0xFF00FF00U) | ((v >> 16) & 0xFFU) | ((v & 0xFFU) << 16);
}

void copyIn(const Bitmap& bitmap, SplashBitmap& splash, int x0, int y0, int w, int h, bool reverse) {
  unsigned char* alpha = splash.getAlphaPtr();
  int bpp = bitmap.bytesPerPixel();
  for (int y = 0; y < h; ++y) {
    const unsigned char* src = bitmap.buffer + static_cast<std::ptrdiff_t>(y0 + y) * bitmap.stride + x0 * bpp;
    unsigned char* dst = splash.getDataPtr() + static_cast<std::ptrdiff_t>(y) * splash.getRowSize();
    unsigned char* a = alpha ? alpha + static_cast<std::ptrdiff_t>(y) * splash.getWidth() : nullptr;
    if (bpp == 1) {
      std::memcpy(dst, src, static_cast<std::size_t>(w));
      if (a) std::memset(a, 0xFF, static_cast<std::size_t>(w));
      continue;
    }
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = load(src + 4 * x);
      store(dst + 4 * x, (reverse ? swapRedBlue(v) : v) | 0xFF000000U);
      if (a) a[x] = bitmap.format == kBitmapBGRA ? static_cast<unsigned char>(v >> 24) : 0xFF;
    }
  }
}

// `opaque`: Splash has already laid every pixel on an opaque background.
void copyOut(const SplashBitmap& splash, Bitmap& bitmap, int x0, int y0, int w, int h, bool reverse, bool opaque) {
  const unsigned char* alpha = opaque ? nullptr : splash.getAlphaPtr();
  int bpp = bitmap.bytesPerPixel();
  for (int y = 0; y < h; ++y) {
    const unsigned char* src = splash.getDataPtr() + static_cast<std::ptrdiff_t>(y) * splash.getRowSize();
    unsigned char* dst = bitmap.buffer + static_cast<std::ptrdiff_t>(y0 + y) * bitmap.stride + x0 * bpp;
    const unsigned char* a = alpha ? alpha + static_cast<std::ptrdiff_t>(y) * splash.getWidth() : nullptr;
    if (bpp == 1) {
      // A grey bitmap has no alpha: the drawing stands on the paper it was given.
      std::memcpy(dst, src, static_cast<std::size_t>(w));
      continue;
    }
    if (!a && !reverse) {
      for (int x = 0; x < w; ++x) store(dst + 4 * x, load(src + 4 * x) | 0xFF000000U);
      continue;
    }
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = load(src + 4 * x) & 0x00FFFFFFU;
      if (reverse) v = swapRedBlue(v);
      store(dst + 4 * x, v | (a ? static_cast<std::uint32_t>(a[x]) << 24 : 0xFF000000U));
    }
  }
}

// Draws `layer` of the page scaled to the rectangle (startX, startY, sizeX,
// sizeY) of the bitmap, turned by a further `rotate` quarter turns; only the
// part inside the bitmap is drawn.
void draw(Bitmap* bitmap, PageHandle* handle, int startX, int startY, int sizeX, int sizeY, int rotate, int flags,
          Layer layer) {
  if (!bitmap || !handle || sizeX <= 0 || sizeY <= 0) return;
  long long x0 = std::max(startX, 0), y0 = std::max(startY, 0);
  long long x1 = std::min<long long>(static_cast<long long>(startX) + sizeX, bitmap->width);
  long long y1 = std::min<long long>(static_cast<long long>(startY) + sizeY, bitmap->height);
  if (x0 >= x1 || y0 >= y1) return;

  ::Page* page = handle->page;
  double cropW = page->getCropWidth(), cropH = page->getCropHeight();
  if (!(cropW > 0) || !(cropH > 0)) return;
  rotate = ((rotate % 4) + 4) % 4;
  bool turned = ((page->getRotate() / 90) + rotate) % 2 == 1;
  double shownW = turned ? cropH : cropW, shownH = turned ? cropW : cropH;
  double hDPI = sizeX * 72.0 / shownW, vDPI = sizeY * 72.0 / shownH;

  bool printing = (flags & kFlagPrinting) != 0;
  bool reverse = (flags & kFlagReverseByteOrder) != 0;
  bool grey = bitmap->format == kBitmapGray;
  SplashOutputDev& out = handle->doc->output((flags & kFlagNoSmoothText) == 0, grey);
  out.setVectorAntialias((flags & kFlagNoSmoothPath) == 0);

  // A bitmap wholly filled with one opaque colour needs no reading back: that
  // colour becomes the paper Splash starts from and lays under the drawing.
  bool fromColour = bitmap->uniform && (bitmap->format != kBitmapBGRA || (bitmap->uniformColor >> 24) == 0xFF);
  bool whole = x0 == 0 && y0 == 0 && x1 == bitmap->width && y1 == bitmap->height;
  // A noted fill is written out unless the drawing replaces every pixel of it.
  if (!fromColour || !whole) settleFill(*bitmap);
  unsigned long c = fromColour ? bitmap->uniformColor : 0xFFFFFFFFUL;
  SplashColor paper = {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                       static_cast<unsigned char>(c), 0xFF};
  if (grey) paper[0] = greyOf(c);
  out.setPaperColor(paper);
  bitmap->uniform = false;
  bitmap->fillPending = false;

  // Splash draws into its own bitmap; drawing in bands of rows keeps that
  // second copy small whatever the page size.
  int w = static_cast<int>(x1 - x0);
  int bandRows = static_cast<int>(
      std::max<long long>(64, kBandBytes / (static_cast<long long>(w) * bitmap->bytesPerPixel())));
  for (long long by = y0; by < y1; by += bandRows) {
    int h = static_cast<int>(std::min<long long>(bandRows, y1 - by));
    std::unique_ptr<Gfx> gfx(page->createGfx(&out, hDPI, vDPI, rotate * 90, false, true,
                                             static_cast<int>(x0 - startX), static_cast<int>(by - startY), w, h,
                                             printing, nullptr, nullptr));
    SplashBitmap* splash = out.getBitmap();
    if (!gfx || !splash) {
      // Rows the drawing never reached still get the fill they were promised.
      if (fromColour) fillArea(*bitmap, x0, by, x1, y1, c);
      break;
    }
    int cw = std::min(w, splash->getWidth()), ch = std::min(h, splash->getHeight());
    if (!fromColour) copyIn(*bitmap, *splash, static_cast<int>(x0), static_cast<int>(by), cw, ch, reverse);

    if (layer == Layer::Page) page->display(gfx.get());
    bool drawAnnots = layer == Layer::FormFields || (flags & kFlagAnnot) != 0;
    if (drawAnnots) {
      // While a form environment is open the fields are FPDF_FFLDraw's to draw.
      bool fieldsHere = layer == Layer::FormFields || handle->doc->formEnvironments == 0;
      for (Annot* annot : page->getAnnots()->getAnnots()) {
        bool field = annot->getType() == Annot::typeWidget;
        if (layer == Layer::FormFields ? field : (!field || fieldsHere)) annot->draw(gfx.get(), printing);
      }
    }
    gfx.reset();  // ends the page on the output device

    copyOut(*splash, *bitmap, static_cast<int>(x0), static_cast<int>(by), cw, ch, reverse, fromColour);
  }
  // The band bitmap stays with the output device: the next band or page of
  // the same size draws into it again instead of into fresh memory.
}

}  // namespace

ENGINE_EXPORT void FPDF_RenderPageBitmap(Bitmap* bitmap, PageHandle* page, int startX, int startY, int sizeX,
                                         int sizeY, int rotate, int flags) {
  draw(bitmap, page, startX, startY, sizeX, sizeY, rotate, flags, Layer::Page);
}

ENGINE_EXPORT void FPDF_FFLDraw(FormHandle* form, Bitmap* bitmap, PageHandle* page, int startX, int startY, int sizeX,
                                int sizeY, int rotate, int flags) {
  if (!form || !page || form->doc != page->doc) return;
  draw(bitmap, page, startX, startY, sizeX, sizeY, rotate, flags, Layer::FormFields);
}
