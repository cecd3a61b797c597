// Bitmaps: 32 bits per pixel, blue-green-red-alpha in memory.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine.hpp"

using namespace pdfengine;

ENGINE_EXPORT Bitmap* FPDFBitmap_CreateEx(int width, int height, int format, void* firstScan, int stride) {
  if (width <= 0 || height <= 0 || (format != kBitmapBGRx && format != kBitmapBGRA) || width > INT_MAX / 4) {
    setLastError(kErrUnknown);
    return nullptr;
  }
  auto* bitmap = new Bitmap{width, height, width * 4, format, nullptr, false};
  if (firstScan) {
    if (stride < width * 4) {
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
  if (bitmap->owned) std::free(bitmap->buffer);
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
  // Memory the caller handed in may change behind our back: never assumed uniform.
  bitmap->uniform = bitmap->owned && (whole || (bitmap->uniform && bitmap->uniformColor == color));
  bitmap->uniformColor = color;
  const unsigned char pixel[4] = {static_cast<unsigned char>(color), static_cast<unsigned char>(color >> 8),
                                  static_cast<unsigned char>(color >> 16), static_cast<unsigned char>(color >> 24)};
  for (long long y = y0; y < y1; ++y) {
    unsigned char* p = bitmap->buffer + y * bitmap->stride + x0 * 4;
    for (long long x = x0; x < x1; ++x, p += 4) std::memcpy(p, pixel, 4);
  }
  return 1;
}

// The caller may write through the buffer: nothing is assumed about it after.
ENGINE_EXPORT void* FPDFBitmap_GetBuffer(Bitmap* bitmap) {
  if (!bitmap) return nullptr;
  bitmap->uniform = false;
  return bitmap->buffer;
}
ENGINE_EXPORT int FPDFBitmap_GetWidth(Bitmap* bitmap) { return bitmap ? bitmap->width : 0; }
ENGINE_EXPORT int FPDFBitmap_GetHeight(Bitmap* bitmap) { return bitmap ? bitmap->height : 0; }
ENGINE_EXPORT int FPDFBitmap_GetStride(Bitmap* bitmap) { return bitmap ? bitmap->stride : 0; }
ENGINE_EXPORT int FPDFBitmap_GetFormat(Bitmap* bitmap) { return bitmap ? bitmap->format : 0; }
