// The engine library built on poppler, driven through the host's own binding:
// error codes, the render flags the host passes, annotations and form fields.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "../fixtures/engine/pdf_builder.hpp"
#include "platform/library.hpp"
#include "platform/paths.hpp"
#include "printing/engine_library.hpp"

namespace zorvik::printing {
namespace {

namespace api = engine_api;
using testing::onePagePdf;

class EngineLibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto lib = platform::Library::open(*platform::executableDir() / "libpdfium.so");
    ASSERT_TRUE(lib) << lib.error().reason;
    auto bound = EngineLibrary::bind(std::move(*lib));
    ASSERT_TRUE(bound) << bound.error().description;
    engine = bound->release();
  }
  static void TearDownTestSuite() {
    delete engine;
    engine = nullptr;
  }

  // Renders page 1 of `pdf` to w × h and returns the raw bitmap bytes (stride w × 4).
  static std::string draw(const std::string& pdf, int w, int h, int flags, bool withForm = false) {
    const EngineLibrary& e = *engine;
    api::Document* doc = e.loadMemDocument64(pdf.data(), pdf.size(), nullptr);
    EXPECT_NE(doc, nullptr);
    if (!doc) return {};
    api::FormFillInfo info;
    api::Form* form = withForm ? e.initFormFillEnvironment(doc, &info) : nullptr;
    api::Page* page = e.loadPage(doc, 0);
    api::Bitmap* bitmap = e.bitmapCreateEx(w, h, api::kBitmapBGRA, nullptr, 0);
    e.bitmapFillRect(bitmap, 0, 0, w, h, 0xFFFFFFFF);
    e.renderPageBitmap(bitmap, page, 0, 0, w, h, 0, flags);
    if (form) e.fflDraw(form, bitmap, page, 0, 0, w, h, 0, flags);
    EXPECT_EQ(e.bitmapGetStride(bitmap), w * 4);
    std::string pixels(static_cast<const char*>(e.bitmapGetBuffer(bitmap)), static_cast<std::size_t>(w) * h * 4);
    e.bitmapDestroy(bitmap);
    e.closePage(page);
    if (form) e.exitFormFillEnvironment(form);
    e.closeDocument(doc);
    return pixels;
  }

  static std::string pixel(const std::string& pixels, int w, int x, int y) {
    return pixels.substr((static_cast<std::size_t>(y) * w + x) * 4, 4);
  }

  static inline EngineLibrary* engine = nullptr;
};

const std::string kBlack = std::string("\x00\x00\x00\xFF", 4);
const std::string kWhite = std::string("\xFF\xFF\xFF\xFF", 4);

TEST_F(EngineLibraryTest, LastErrorTellsWhyADocumentDidNotLoad) {
  std::ifstream in(ZORVIK_TEST_FIXTURES "/engine/password.pdf", std::ios::binary);
  std::string encrypted((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(encrypted.empty());
  struct Case {
    std::string name;
    std::string bytes;
    unsigned long error;
  } cases[] = {
      {"not a PDF", "<html>404</html>", api::kErrFormat},
      {"empty", "", api::kErrFormat},
      {"needs a password", encrypted, api::kErrPassword},
  };
  for (const auto& c : cases) {
    api::Document* doc = engine->loadMemDocument64(c.bytes.data(), c.bytes.size(), nullptr);
    EXPECT_EQ(doc, nullptr) << c.name;
    EXPECT_EQ(engine->getLastError(), c.error) << c.name;
  }
  std::string good = onePagePdf(100, 100, "");
  api::Document* doc = engine->loadMemDocument64(good.data(), good.size(), nullptr);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(engine->getLastError(), 0U);
  EXPECT_EQ(engine->getPageCount(doc), 1);
  EXPECT_EQ(engine->loadPage(doc, 1), nullptr);
  engine->closeDocument(doc);
}

// poppler walks the page tree in order: from a broken page on, no page loads.
TEST_F(EngineLibraryTest, PagesFromABrokenOneOnDoNotLoad) {
  std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] >>";
  std::string broken = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] /Contents 42 >>";
  std::string pdf = testing::buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                       "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>", page, page,
                                       broken, page});
  api::Document* doc = engine->loadMemDocument64(pdf.data(), pdf.size(), nullptr);
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(engine->getPageCount(doc), 4);
  for (int i : {0, 1, 2, 3}) {
    api::Page* p = engine->loadPage(doc, i);
    EXPECT_EQ(p != nullptr, i < 2) << "page index " << i;
    if (p) engine->closePage(p);
  }
  engine->closeDocument(doc);
}

TEST_F(EngineLibraryTest, PageSizeFollowsTheRotateEntry) {
  std::string pdf = onePagePdf(200, 100, "", "/Rotate 90");
  api::Document* doc = engine->loadMemDocument64(pdf.data(), pdf.size(), nullptr);
  api::Page* page = engine->loadPage(doc, 0);
  EXPECT_FLOAT_EQ(engine->getPageWidthF(page), 100);
  EXPECT_FLOAT_EQ(engine->getPageHeightF(page), 200);
  engine->closePage(page);
  engine->closeDocument(doc);
}

TEST_F(EngineLibraryTest, NoSmoothingFlagsLeaveOnlyPureBlackAndWhite) {
  // Black text and a slanted line on white: smoothing makes greys at the edges.
  std::string pdf = onePagePdf(160, 110,
                               "0 0 0 RG 1.5 w 5 100 m 150 60 l S BT /F1 14 Tf 10 30 Td (Smooth 123 edges) Tj ET");
  auto levels = [&](int flags) {
    std::set<unsigned char> seen;
    std::string pixels = draw(pdf, 320, 220, flags);
    for (std::size_t i = 0; i < pixels.size(); i += 4) seen.insert(static_cast<unsigned char>(pixels[i + 1]));
    return seen;
  };
  EXPECT_EQ(levels(api::kNoSmoothText | api::kNoSmoothPath), (std::set<unsigned char>{0, 255}));
  EXPECT_GT(levels(0).size(), 2U);
}

TEST_F(EngineLibraryTest, ReverseByteOrderPutsRedFirst) {
  std::string pdf = onePagePdf(50, 50, "1 0 0 rg 0 0 50 50 re f");
  EXPECT_EQ(pixel(draw(pdf, 50, 50, 0), 50, 25, 25), std::string("\x00\x00\xFF\xFF", 4));
  EXPECT_EQ(pixel(draw(pdf, 50, 50, api::kReverseByteOrder), 50, 25, 25), std::string("\xFF\x00\x00\xFF", 4));
}

TEST_F(EngineLibraryTest, RendersIntoTheGivenRectangleOnTopOfWhatIsThere) {
  // A page-filling black box drawn into the right half of a white bitmap.
  std::string pdf = onePagePdf(50, 100, "0 0 0 rg 0 0 50 100 re f");
  const EngineLibrary& e = *engine;
  api::Document* doc = e.loadMemDocument64(pdf.data(), pdf.size(), nullptr);
  api::Page* page = e.loadPage(doc, 0);
  api::Bitmap* bitmap = e.bitmapCreateEx(100, 100, api::kBitmapBGRA, nullptr, 0);
  e.bitmapFillRect(bitmap, 0, 0, 100, 100, 0xFFFFFFFF);
  e.renderPageBitmap(bitmap, page, 50, 0, 50, 100, 0, 0);
  std::string pixels(static_cast<const char*>(e.bitmapGetBuffer(bitmap)), 100 * 100 * 4);
  EXPECT_EQ(pixel(pixels, 100, 10, 50), kWhite);
  EXPECT_EQ(pixel(pixels, 100, 90, 50), kBlack);
  e.bitmapDestroy(bitmap);
  e.closePage(page);
  e.closeDocument(doc);
}

// A page with a square annotation at the left and a form field at the right,
// each with an appearance that fills its box black.
std::string annotatedPdf() {
  std::string ap = testing::pdfStream("0 0 0 rg 0 0 40 40 re f", "/Type /XObject /Subtype /Form /BBox [0 0 40 40]");
  return onePagePdf(100, 60, "", "/Annots [6 0 R 7 0 R]", "/AcroForm << /Fields [7 0 R] >>",
                    {"<< /Type /Annot /Subtype /Square /Rect [5 10 45 50] /F 4 /AP << /N 8 0 R >> >>",
                     "<< /Type /Annot /Subtype /Widget /FT /Tx /T (code) /Rect [55 10 95 50] /F 4 /P 3 0 R "
                     "/AP << /N 8 0 R >> >>",
                     ap});
}

TEST_F(EngineLibraryTest, AnnotationsAndFormFieldsFollowTheFlagsAndTheFormEnvironment) {
  std::string pdf = annotatedPdf();
  {
    api::Document* doc = engine->loadMemDocument64(pdf.data(), pdf.size(), nullptr);
    EXPECT_EQ(engine->getFormType(doc), 1);
    engine->closeDocument(doc);
  }
  struct Case {
    std::string name;
    int flags;
    bool form;
    bool annotation, field;
  } cases[] = {
      {"no annotation flag", 0, false, false, false},
      {"annotation flag", api::kAnnot, false, true, true},
      {"form environment draws the field", api::kAnnot, true, true, true},
  };
  for (const auto& c : cases) {
    std::string pixels = draw(pdf, 100, 60, c.flags, c.form);
    EXPECT_EQ(pixel(pixels, 100, 25, 30), c.annotation ? kBlack : kWhite) << c.name;
    EXPECT_EQ(pixel(pixels, 100, 75, 30), c.field ? kBlack : kWhite) << c.name;
  }
  // With a form environment open the page render leaves the field to FPDF_FFLDraw.
  api::Document* doc = engine->loadMemDocument64(pdf.data(), pdf.size(), nullptr);
  api::FormFillInfo info;
  api::Form* form = engine->initFormFillEnvironment(doc, &info);
  ASSERT_NE(form, nullptr);
  api::Page* page = engine->loadPage(doc, 0);
  api::Bitmap* bitmap = engine->bitmapCreateEx(100, 60, api::kBitmapBGRA, nullptr, 0);
  engine->bitmapFillRect(bitmap, 0, 0, 100, 60, 0xFFFFFFFF);
  engine->renderPageBitmap(bitmap, page, 0, 0, 100, 60, 0, api::kAnnot);
  std::string pixels(static_cast<const char*>(engine->bitmapGetBuffer(bitmap)), 100 * 60 * 4);
  EXPECT_EQ(pixel(pixels, 100, 25, 30), kBlack);
  EXPECT_EQ(pixel(pixels, 100, 75, 30), kWhite);
  engine->bitmapDestroy(bitmap);
  engine->closePage(page);
  engine->exitFormFillEnvironment(form);
  engine->closeDocument(doc);
}

// Grey bitmaps on the caller's memory: one byte a pixel, the drawing laid on
// the fill, and a whole fill that is only noted still reaches the memory.
TEST_F(EngineLibraryTest, GreyBitmapsTakeTheDrawingOnTheirFill) {
  std::string pdf = onePagePdf(20, 10, "0 0 0 rg 0 0 10 10 re f 1 0 0 rg 10 0 10 10 re f");
  const EngineLibrary& e = *engine;
  api::Document* doc = e.loadMemDocument64(pdf.data(), pdf.size(), nullptr);
  api::Page* page = e.loadPage(doc, 0);
  std::vector<unsigned char> memory(24 * 10, 7);  // a 24-byte stride: padding stays untouched
  api::Bitmap* bitmap = e.bitmapCreateEx(20, 10, api::kBitmapGray, memory.data(), 24);
  ASSERT_NE(bitmap, nullptr);
  e.bitmapFillRect(bitmap, 0, 0, 20, 10, 0xFFFFFFFF);
  e.renderPageBitmap(bitmap, page, 0, 0, 20, 10, 0, api::kNoSmoothPath | api::kNoSmoothText);
  EXPECT_EQ(memory[5 * 24 + 5], 0);    // black
  EXPECT_EQ(memory[5 * 24 + 15], 77);  // red as grey
  EXPECT_EQ(memory[5 * 24 + 22], 7);   // padding
  e.bitmapDestroy(bitmap);

  std::vector<unsigned char> filled(4 * 2, 0);
  bitmap = e.bitmapCreateEx(4, 2, api::kBitmapGray, filled.data(), 4);
  e.bitmapFillRect(bitmap, 0, 0, 4, 2, 0xFF808080);
  e.bitmapDestroy(bitmap);
  EXPECT_EQ(filled, std::vector<unsigned char>(8, 0x80));
  e.closePage(page);
  e.closeDocument(doc);
}

TEST_F(EngineLibraryTest, BitmapsOnCallerMemoryAndClippedFills) {
  std::vector<unsigned char> memory(8 * 4 * 2, 0);  // 4 × 4 pixels with a 32-byte stride
  api::Bitmap* bitmap = engine->bitmapCreateEx(4, 4, api::kBitmapBGRA, memory.data(), 32);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(engine->bitmapGetStride(bitmap), 32);
  EXPECT_EQ(engine->bitmapGetBuffer(bitmap), memory.data());
  engine->bitmapFillRect(bitmap, 2, -5, 10, 6, 0xFF112233);  // clipped to x 2..3, row 0
  engine->bitmapDestroy(bitmap);
  EXPECT_EQ(memory[8], 0x33);   // blue of pixel (2, 0)
  EXPECT_EQ(memory[10], 0x11);  // red
  EXPECT_EQ(memory[11], 0xFF);  // alpha
  EXPECT_EQ(memory[4], 0);      // pixel (1, 0) untouched
  EXPECT_EQ(memory[32 + 8], 0);  // row 1 untouched
  EXPECT_EQ(engine->bitmapCreateEx(0, 4, api::kBitmapBGRA, nullptr, 0), nullptr);
  EXPECT_EQ(engine->bitmapCreateEx(4, 4, 2, nullptr, 0), nullptr);  // 24-bit is not made
}

}  // namespace
}  // namespace zorvik::printing
