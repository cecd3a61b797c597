// Bitmaps: 8-bit grey, or 32 bits per pixel blue-green-red-alpha in memory.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine.hpp"

using namespace pdfengine;

namespace pdfengine {

void fillArea(Bitmap& bitmap, long long x0, long long y0, long long x1, long long y1, unsigned long color) {
  if (bitmap.format == kBitmapGray) {
    unsigned char grey = greyOf(color);
    for (long long y = y0; y < y1; ++y) std::memset(bitmap.buffer + y * bitmap.stride + x0, grey, x1 - x0);
    return;
  }
  const unsigned char pixel[4] = {static_cast<unsigned char>(color), static_cast<unsigned char>(color >> 8),
                                  static_cast<unsigned char>(color >> 16), static_cast<unsigned char>(color >> 24)};
  for (long long y = y0; y < y1; ++y) {
    unsigned char* p = bitmap.buffer + y * bitmap.stride + x0 * 4;
    for (long long x = x0; x < x1; ++x, p += 4) std::memcpy(p, pixel, 4);
  }
}

void settleFill(Bitmap& bitmap) {
  if (!bitmap.fillPending) return;
  bitmap.fillPending = false;
  fillArea(bitmap, 0, 0, bitmap.width, bitmap.height, bitmap.uniformColor);
}

unsigned char greyOf(unsigned long color) {
  unsigned r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  return static_cast<unsigned char>((77 * r + 151 * g + 28 * b + 128) >> 8);
}

}  // namespace pdfengine

ENGINE_EXPORT Bitmap* FPDFBitmap_CreateEx(int width, int height, int format, void* firstScan, int stride) {
  bool known = format == kBitmapGray || format == kBitmapBGRx || format == kBitmapBGRA;
  if (width <= 0 || height <= 0 || !known || width > INT_MAX / 4) {
    setLastError(kErrUnknown);
    return nullptr;
  }
  int bytes = format == kBitmapGray ? 1 : 4;
  auto* bitmap = new Bitmap{width, height, width * bytes, format, nullptr, false};
  if (firstScan) {
    if (stride < width * bytes) {
      delete bitmap;
      setLastError(kErrUnknown);
      return nullptr;
    }
    bitmap->stride = stride;
    bitmap->buffer = static_cast<unsigned char*>(firstScan);
    return bitmap;
  }
  // calloc: large bitmaps get lazily zeroed pages instead of a full pass.
  bitmap->buffer = static_cast<unsigned char*>(
      std::calloc(static_cast<std::size_t>(height), static_cast<std::size_t>(bitmap->stride)));
  if (!bitmap->buffer) {
    delete bitmap;
    setLastError(kErrUnknown);
    return nullptr;
  }
  bitmap->owned = true;
  return bitmap;
}

ENGINE_EXPORT Bitmap* FPDFBitmap_Create(int width, int height, int alpha) {
  return FPDFBitmap_CreateEx(width, height, alpha ? kBitmapBGRA : kBitmapBGRx, nullptr, 0);
}

ENGINE_EXPORT void FPDFBitmap_Destroy(Bitmap* bitmap) {
  if (!bitmap) return;
  if (bitmap->owned) {
    std::free(bitmap->buffer);
  } else {
    settleFill(*bitmap);  // the caller keeps the memory and expects the fill in it
  }
  delete bitmap;
}

// `color` is 0xAARRGGBB; the rectangle is clipped to the bitmap.
ENGINE_EXPORT int FPDFBitmap_FillRect(Bitmap* bitmap, int left, int top, int width, int height, unsigned long color) {
  if (!bitmap || width <= 0 || height <= 0) return 0;
  long long x0 = left < 0 ? 0 : left, y0 = top < 0 ? 0 : top;
  long long x1 = static_cast<long long>(left) + width, y1 = static_cast<long long>(top) + height;
  if (x1 > bitmap->width) x1 = bitmap->width;
  if (y1 > bitmap->height) y1 = bitmap->height;
  if (x0 >= x1 || y0 >= y1) return 1;
  bool whole = x0 == 0 && y0 == 0 && x1 == bitmap->width && y1 == bitmap->height;
  if (whole) {
    // The pixels are written only if they are ever read before a render covers them.
    bitmap->uniform = true;
    bitmap->fillPending = true;
    bitmap->uniformColor = color;
    return 1;
  }
  settleFill(*bitmap);
  bitmap->uniform = bitmap->uniform && bitmap->uniformColor == color;
  fillArea(*bitmap, x0, y0, x1, y1, color);
  return 1;
}

// The caller may read or write through the buffer: nothing is assumed about it after.
ENGINE_EXPORT void* FPDFBitmap_GetBuffer(Bitmap* bitmap) {
  if (!bitmap) return nullptr;
  settleFill(*bitmap);
  bitmap->uniform = false;
  return bitmap->buffer;
}
ENGINE_EXPORT int FPDFBitmap_GetWidth(Bitmap* bitmap) { return bitmap ? bitmap->width : 0; }
ENGINE_EXPORT int FPDFBitmap_GetHeight(Bitmap* bitmap) { return bitmap ? bitmap->height : 0; }
ENGINE_EXPORT int FPDFBitmap_GetStride(Bitmap* bitmap) { return bitmap ? bitmap->stride : 0; }
ENGINE_EXPORT int FPDFBitmap_GetFormat(Bitmap* bitmap) { return bitmap ? bitmap->format : 0; }
