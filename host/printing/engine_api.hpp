// The PDF engine's C interface as the host uses it: opaque handles, the entry
// points' signatures, and the flag and error values the host passes or reads.
#pragma once

#include <cstddef>

namespace zorvik::printing::engine_api {

struct Document;
struct Page;
struct Bitmap;
struct Form;

// Form-fill description: a version (1) and callbacks the host leaves empty.
// Sized generously so an engine reading a full version-1 block stays inside it.
struct FormFillInfo {
  int version = 1;
  void* callbacks[64] = {};
};

using InitLibraryFn = void (*)();
using DestroyLibraryFn = void (*)();
using LoadMemDocument64Fn = Document* (*)(const void* data, std::size_t size, const char* password);
using CloseDocumentFn = void (*)(Document*);
using GetLastErrorFn = unsigned long (*)();
using InitFormFillEnvironmentFn = Form* (*)(Document*, FormFillInfo*);
using ExitFormFillEnvironmentFn = void (*)(Form*);
using GetFormTypeFn = int (*)(Document*);
using GetPageCountFn = int (*)(Document*);
using LoadPageFn = Page* (*)(Document*, int index);
using ClosePageFn = void (*)(Page*);
using GetPageSizeFFn = float (*)(Page*);
using BitmapCreateExFn = Bitmap* (*)(int width, int height, int format, void* firstScan, int stride);
using BitmapFillRectFn = int (*)(Bitmap*, int left, int top, int width, int height, unsigned long color);
using BitmapGetBufferFn = void* (*)(Bitmap*);
using BitmapGetIntFn = int (*)(Bitmap*);
using BitmapDestroyFn = void (*)(Bitmap*);
using RenderPageBitmapFn = void (*)(Bitmap*, Page*, int startX, int startY, int sizeX, int sizeY, int rotate,
                                    int flags);
using FFLDrawFn = void (*)(Form*, Bitmap*, Page*, int startX, int startY, int sizeX, int sizeY, int rotate,
                           int flags);

// Render flags.
inline constexpr int kAnnot = 0x01;
inline constexpr int kReverseByteOrder = 0x10;
inline constexpr int kNoSmoothText = 0x1000;
inline constexpr int kNoSmoothPath = 0x4000;

// Bitmap formats: 8-bit grey; 32 bits, blue, green, red, alpha.
inline constexpr int kBitmapGray = 1;
inline constexpr int kBitmapBGRA = 4;

// Last-error codes.
inline constexpr unsigned long kErrUnknown = 1;
inline constexpr unsigned long kErrFile = 2;
inline constexpr unsigned long kErrFormat = 3;
inline constexpr unsigned long kErrPassword = 4;
inline constexpr unsigned long kErrSecurity = 5;
inline constexpr unsigned long kErrPage = 6;

}  // namespace zorvik::printing::engine_api
