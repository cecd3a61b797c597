// Internals of the PDF engine library: the handles behind the exported C entry
// points. Everything here runs on the one thread the host renders on.
#pragma once

#include <cstddef>
#include <map>
#include <memory>

class Page;
class PDFDoc;
class SplashOutputDev;

#define ENGINE_EXPORT extern "C" __attribute__((visibility("default")))

namespace pdfengine {

// Error codes the host reads with FPDF_GetLastError.
inline constexpr unsigned long kErrSuccess = 0;
inline constexpr unsigned long kErrUnknown = 1;
inline constexpr unsigned long kErrFile = 2;
inline constexpr unsigned long kErrFormat = 3;
inline constexpr unsigned long kErrPassword = 4;
inline constexpr unsigned long kErrSecurity = 5;
inline constexpr unsigned long kErrPage = 6;

// Render flags this library honours.
inline constexpr int kFlagAnnot = 0x01;
inline constexpr int kFlagReverseByteOrder = 0x10;
inline constexpr int kFlagPrinting = 0x800;
inline constexpr int kFlagNoSmoothText = 0x1000;
inline constexpr int kFlagNoSmoothPath = 0x4000;

// Bitmap formats: 8-bit grey and the two 32-bit ones are made.
inline constexpr int kBitmapGray = 1;
inline constexpr int kBitmapBGRx = 3;
inline constexpr int kBitmapBGRA = 4;

void setLastError(unsigned long code);

struct Document {
  explicit Document(std::unique_ptr<PDFDoc> pdf);
  ~Document();

  // The output device for one text-smoothing choice and pixel kind (grey or
  // colour); kept so fonts are loaded once per document, not once per page,
  // and so its band bitmap is reused from page to page.
  SplashOutputDev& output(bool smoothText, bool grey);

  std::unique_ptr<PDFDoc> pdf;
  // Open form environments: while there is one, the page render leaves the
  // form fields to FPDF_FFLDraw, as the engine's form API expects.
  int formEnvironments = 0;
  std::map<std::pair<bool, bool>, std::unique_ptr<SplashOutputDev>> outputs;
};

struct PageHandle {
  Document* doc;
  ::Page* page;  // owned by the document's catalog
};

struct Bitmap {
  int width = 0;
  int height = 0;
  int stride = 0;
  int format = kBitmapBGRA;
  unsigned char* buffer = nullptr;
  bool owned = false;
  // Set while the whole bitmap is known to hold this one 0xAARRGGBB colour
  // (after a full FillRect, until anything else may have written to it), so a
  // render can start from that colour instead of reading the pixels back.
  bool uniform = false;
  unsigned long uniformColor = 0;
  // A full FillRect is only noted: the pixels are written when something
  // reads or partly changes them, or never when a render covers them all.
  bool fillPending = false;

  [[nodiscard]] int bytesPerPixel() const { return format == kBitmapGray ? 1 : 4; }
};

// Writes `color` (0xAARRGGBB) into [x0, x1) × [y0, y1), already clipped.
void fillArea(Bitmap& bitmap, long long x0, long long y0, long long x1, long long y1, unsigned long color);

// Writes a pending fill into the pixels.
void settleFill(Bitmap& bitmap);

// The grey level of a 0xAARRGGBB colour, as the grey output device mixes it.
unsigned char greyOf(unsigned long color);

struct FormHandle {
  Document* doc;
};

}  // namespace pdfengine
