// Drawing pages and form fields into bitmaps with poppler's Splash renderer.
//
// Both entry points draw onto what the bitmap already holds: the covered
// pixels are handed to Splash as its background, drawn over, and copied back,
// so a white fill, a page and then its form fields build one picture.
#include <algorithm>
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

enum class Layer {
  Page,        // content, and with kFlagAnnot the annotations
  FormFields,  // only the widget annotations
};

// Splash keeps blue, green, red, unused in memory (XBGR8); the engine's
// reverse-byte-order flag asks for red, green, blue, alpha in the bitmap.
void copyIn(const Bitmap& bitmap, SplashBitmap& splash, int x0, int y0, int w, int h, bool reverse) {
  unsigned char* alpha = splash.getAlphaPtr();
  for (int y = 0; y < h; ++y) {
    const unsigned char* src = bitmap.buffer + static_cast<std::ptrdiff_t>(y0 + y) * bitmap.stride + x0 * 4;
    unsigned char* dst = splash.getDataPtr() + static_cast<std::ptrdiff_t>(y) * splash.getRowSize();
    unsigned char* a = alpha ? alpha + static_cast<std::ptrdiff_t>(y) * splash.getWidth() : nullptr;
    for (int x = 0; x < w; ++x, src += 4, dst += 4) {
      dst[0] = reverse ? src[2] : src[0];
      dst[1] = src[1];
      dst[2] = reverse ? src[0] : src[2];
      dst[3] = 0xFF;
      if (a) a[x] = bitmap.format == kBitmapBGRA ? src[3] : 0xFF;
    }
  }
}

void copyOut(const SplashBitmap& splash, Bitmap& bitmap, int x0, int y0, int w, int h, bool reverse) {
  const unsigned char* alpha = splash.getAlphaPtr();
  for (int y = 0; y < h; ++y) {
    const unsigned char* src = splash.getDataPtr() + static_cast<std::ptrdiff_t>(y) * splash.getRowSize();
    unsigned char* dst = bitmap.buffer + static_cast<std::ptrdiff_t>(y0 + y) * bitmap.stride + x0 * 4;
    const unsigned char* a = alpha ? alpha + static_cast<std::ptrdiff_t>(y) * splash.getWidth() : nullptr;
    for (int x = 0; x < w; ++x, src += 4, dst += 4) {
      dst[0] = reverse ? src[2] : src[0];
      dst[1] = src[1];
      dst[2] = reverse ? src[0] : src[2];
      dst[3] = a ? a[x] : 0xFF;
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
  SplashOutputDev& out = handle->doc->output((flags & kFlagNoSmoothText) == 0);
  out.setVectorAntialias((flags & kFlagNoSmoothPath) == 0);

  int w = static_cast<int>(x1 - x0), h = static_cast<int>(y1 - y0);
  std::unique_ptr<Gfx> gfx(page->createGfx(&out, hDPI, vDPI, rotate * 90, false, true, static_cast<int>(x0 - startX),
                                           static_cast<int>(y0 - startY), w, h, printing, nullptr, nullptr));
  SplashBitmap* splash = out.getBitmap();
  if (!gfx || !splash) return;
  int cw = std::min(w, splash->getWidth()), ch = std::min(h, splash->getHeight());
  copyIn(*bitmap, *splash, static_cast<int>(x0), static_cast<int>(y0), cw, ch, reverse);

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

  copyOut(*splash, *bitmap, static_cast<int>(x0), static_cast<int>(y0), cw, ch, reverse);
  // Splash would keep a page-sized bitmap per document; give the memory back now.
  delete out.takeBitmap();
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
