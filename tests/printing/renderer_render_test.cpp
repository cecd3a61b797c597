// Rendering through the renderer thread with the real engine library: sizes,
// black-and-white labels, colour pages, byte order and the failure texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>

#include "../fixtures/engine/pdf_builder.hpp"
#include "platform/paths.hpp"
#include "printing/renderer.hpp"
#include "printing/renderer_channel.hpp"
#include "test_env.hpp"

namespace zorvik::printing {
namespace {

using testing::buildPdf;
using testing::onePagePdf;
using testing::pdfStream;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

class RendererRenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto started = Renderer::start(*platform::executableDir());
    ASSERT_TRUE(started);
    renderer = started->release();
  }
  static void TearDownTestSuite() {
    delete renderer;
    renderer = nullptr;
  }

  static Result<RenderedPages> render(const std::string& pdf, std::int32_t dpi) {
    return renderer->render(bytesOf(pdf), dpi);
  }

  // Pixel (x, y) as blue, green, red, alpha (a grey page's level three times).
  static std::array<int, 4> at(const RenderedPage& page, int x, int y) {
    std::size_t p = static_cast<std::size_t>(y) * page.widthPx + x;
    if (page.kind == PixelKind::Grey) return {page.pixels[p], page.pixels[p], page.pixels[p], 255};
    std::size_t i = p * 4;
    return {page.pixels[i], page.pixels[i + 1], page.pixels[i + 2], page.pixels[i + 3]};
  }

  static inline Renderer* renderer = nullptr;
};

TEST_F(RendererRenderTest, ALabelAt203DpiIsPureBlackAndWhite) {
  auto pages = render(testing::labelPdf(), 203);
  ASSERT_TRUE(pages) << pages.error();
  ASSERT_EQ(pages->size(), 1U);
  const RenderedPage& page = pages->front();
  EXPECT_EQ(page.widthPx, 464);
  EXPECT_EQ(page.heightPx, 320);
  EXPECT_NEAR(page.widthPt, 164.4, 0.05);
  EXPECT_NEAR(page.heightPt, 113.4, 0.05);
  // Drawn as one byte a pixel for the black-and-white printer.
  EXPECT_EQ(page.kind, PixelKind::Grey);
  ASSERT_EQ(page.pixels.size(), 464U * 320);
  std::set<std::array<int, 4>> colours;
  for (int y = 0; y < page.heightPx; ++y)
    for (int x = 0; x < page.widthPx; ++x) colours.insert(at(page, x, y));
  EXPECT_EQ(colours, (std::set<std::array<int, 4>>{{0, 0, 0, 255}, {255, 255, 255, 255}}));
}

TEST_F(RendererRenderTest, AnA4PageKeepsGreyAndColour) {
  auto pages = render(testing::a4Pdf(), 100);
  ASSERT_TRUE(pages) << pages.error();
  const RenderedPage& page = pages->front();
  EXPECT_EQ(page.widthPx, 826);  // 595 pt at 100 dpi
  EXPECT_EQ(page.heightPx, 1169);
  int y = pixelsFor(842 - 200, 100);  // the boxes' middle row
  auto grey = at(page, pixelsFor(200, 100), y);
  EXPECT_NEAR(grey[0], 128, 1);
  EXPECT_EQ(grey[0], grey[1]);
  EXPECT_EQ(grey[1], grey[2]);
  EXPECT_EQ(at(page, pixelsFor(420, 100), y), (std::array<int, 4>{0, 0, 255, 255}));
  // Smoothed text leaves levels between black and white.
  std::set<int> levels;
  for (std::size_t i = 0; i < page.pixels.size(); i += 4) levels.insert(page.pixels[i]);
  EXPECT_GT(levels.size(), 10U);
}

// The same poppler drawing the same page at the same size: the engine's
// banding and its blue-green-red-alpha output lose nothing.
TEST_F(RendererRenderTest, AnA4PageMatchesPdftoppmPixelForPixel) {
  testing::TempDir dir;
  std::string pdf = testing::a4Pdf();
  std::ofstream(dir.path() / "a4.pdf", std::ios::binary) << pdf;
  auto pages = render(pdf, 200);
  ASSERT_TRUE(pages) << pages.error();
  const RenderedPage& page = pages->front();
  std::string command = "pdftoppm -singlefile -scale-to-x " + std::to_string(page.widthPx) + " -scale-to-y " +
                        std::to_string(page.heightPx) + " '" + (dir.path() / "a4.pdf").string() + "' '" +
                        (dir.path() / "ref").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir.path() / "ref.ppm", std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  ASSERT_EQ(magic, "P6");
  ASSERT_EQ(w, page.widthPx);
  ASSERT_EQ(h, page.heightPx);
  std::string rgb((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(rgb.size(), static_cast<std::size_t>(w) * h * 3);
  std::size_t differing = 0;
  for (std::size_t p = 0; p < static_cast<std::size_t>(w) * h; ++p) {
    const std::uint8_t* bgra = &page.pixels[p * 4];
    auto r = static_cast<std::uint8_t>(rgb[p * 3]), g = static_cast<std::uint8_t>(rgb[p * 3 + 1]),
         b = static_cast<std::uint8_t>(rgb[p * 3 + 2]);
    if (bgra[0] != b || bgra[1] != g || bgra[2] != r || bgra[3] != 255) ++differing;
  }
  EXPECT_EQ(differing, 0U);
}

TEST_F(RendererRenderTest, APureRedA4PageReachesTheCallerAsBlueGreenRedAlpha) {
  auto pages = render(onePagePdf(595, 842, "1 0 0 rg 0 0 595 842 re f"), 150);
  ASSERT_TRUE(pages) << pages.error();
  const Bytes& pixels = pages->front().pixels;
  ASSERT_EQ(pixels.size(), 1240U * 1754 * 4);
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    if (pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 255 || pixels[i + 3] != 255) {
      FAIL() << "pixel " << i / 4 << " is " << int(pixels[i]) << "," << int(pixels[i + 1]) << ","
             << int(pixels[i + 2]) << "," << int(pixels[i + 3]);
    }
  }
}

TEST_F(RendererRenderTest, LabelThresholdSendsGrey160ToWhiteAnd159ToBlack) {
  // Grey 160/255 and 159/255, then red, green, blue and yellow: only yellow is light enough.
  auto pages = render(onePagePdf(300, 50,
                                 "0.627451 g 0 0 50 50 re f 0.623529 g 50 0 50 50 re f "
                                 "1 0 0 rg 100 0 50 50 re f 0 1 0 rg 150 0 50 50 re f "
                                 "0 0 1 rg 200 0 50 50 re f 1 1 0 rg 250 0 50 50 re f"),
                      72);
  ASSERT_TRUE(pages) << pages.error();
  struct Case {
    int x;
    bool white;
  } cases[] = {{25, true}, {75, false}, {125, false}, {175, false}, {225, false}, {275, true}};
  for (const auto& c : cases) {
    int v = c.white ? 255 : 0;
    EXPECT_EQ(at(pages->front(), c.x, 25), (std::array<int, 4>{v, v, v, 255})) << c.x;
  }
  for (int grey : {0, 159}) EXPECT_FALSE(isWhite(static_cast<std::uint8_t>(grey))) << grey;
  for (int grey : {160, 255}) EXPECT_TRUE(isWhite(static_cast<std::uint8_t>(grey))) << grey;
}

// Pages reach the sink one at a time, each drawn into the same memory.
TEST_F(RendererRenderTest, PagesGoThroughTheSinkOneAtATimeInOneBuffer) {
  std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] >>";
  std::string pdf = buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                              "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>", page, page, page});
  std::set<const std::uint8_t*> buffers;
  int seen = 0;
  auto count = renderer->renderEach(bytesOf(pdf), 72, [&](const PageImage& image) -> Status {
    buffers.insert(image.pixels);
    EXPECT_EQ(image.stride, 100U);
    ++seen;
    return {};
  });
  ASSERT_TRUE(count) << count.error();
  EXPECT_EQ(*count, 3U);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(buffers.size(), 1U);

  // The sink's failure stops the document and is the answer.
  seen = 0;
  auto stopped = renderer->renderEach(bytesOf(pdf), 72, [&](const PageImage&) -> Status {
    ++seen;
    return fail("Принтер не принял изображение этикетки");
  });
  ASSERT_FALSE(stopped);
  EXPECT_EQ(stopped.error(), "Принтер не принял изображение этикетки");
  EXPECT_EQ(seen, 1);
}

// A renderer thread that died (here: something thrown out of a page) is
// started again by the next request, which loads the engine afresh.
TEST_F(RendererRenderTest, ADeadRendererThreadIsStartedAgainOnTheNextRequest) {
  auto died = renderer->renderEach(bytesOf(testing::labelPdf()), 203,
                                   [](const PageImage&) -> Status { throw std::bad_alloc(); });
  ASSERT_FALSE(died);
  EXPECT_EQ(died.error(), kRendererNoAnswer);
  auto again = render(testing::labelPdf(), 203);
  ASSERT_TRUE(again) << again.error();
  EXPECT_EQ(again->size(), 1U);
  auto probe = renderer->probe();
  EXPECT_TRUE(probe) << probe.error();
}

TEST_F(RendererRenderTest, FormFieldsAreDrawn) {
  std::string ap = pdfStream("0 0 0 rg 0 0 40 40 re f", "/Type /XObject /Subtype /Form /BBox [0 0 40 40]");
  std::string pdf = onePagePdf(100, 60, "", "/Annots [6 0 R]", "/AcroForm << /Fields [6 0 R] >>",
                               {"<< /Type /Annot /Subtype /Widget /FT /Tx /T (code) /Rect [55 10 95 50] /F 4 "
                                "/P 3 0 R /AP << /N 7 0 R >> >>",
                                ap});
  auto pages = render(pdf, 72);
  ASSERT_TRUE(pages) << pages.error();
  EXPECT_EQ(at(pages->front(), 75, 30), (std::array<int, 4>{0, 0, 0, 255}));
  EXPECT_EQ(at(pages->front(), 25, 30), (std::array<int, 4>{255, 255, 255, 255}));
}

TEST_F(RendererRenderTest, PagesStopAtTheFirstBrokenPage) {
  // The third page's content is a number, not a stream: the engine cannot load it.
  std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] >>";
  std::string broken = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] /Contents 42 >>";
  std::string pdf = buildPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                              "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>", page, page, broken,
                              page});
  auto pages = render(pdf, 72);
  ASSERT_TRUE(pages) << pages.error();
  EXPECT_EQ(pages->size(), 2U);
}

TEST_F(RendererRenderTest, FailureTexts) {
  std::ifstream in(ZORVIK_TEST_FIXTURES "/engine/password.pdf", std::ios::binary);
  std::string encrypted((std::istreambuf_iterator<char>(in)), {});
  struct Case {
    std::string name;
    std::string pdf;
    std::int32_t dpi;
    std::string error;
  } cases[] = {
      {"100 × 100 inch page at 600 dpi", onePagePdf(7200, 7200, "0 g 0 0 7200 7200 re f"), 600,
       "Страница слишком большая для печати: 60000 × 60000 точек"},
      {"no pages",
       buildPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"}), 203,
       "В PDF нет страниц"},
      {"an HTML error page", "<html><body>502 Bad Gateway</body></html>", 203,
       "Не удалось разобрать PDF: файл повреждён или это не PDF"},
      {"a password", encrypted, 203, "Не удалось разобрать PDF: файл защищён паролем"},
  };
  for (const auto& c : cases) {
    auto pages = render(c.pdf, c.dpi);
    ASSERT_FALSE(pages) << c.name;
    EXPECT_EQ(pages.error(), c.error) << c.name;
  }
}

TEST_F(RendererRenderTest, PixelSizesAndFlags) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    double points;
    std::int32_t dpi;
    std::int32_t pixels;
  } cases[] = {{58 * testing::kMm, 203, 464}, {40 * testing::kMm, 203, 320}, {595, 300, 2479}, {0.1, 203, 1},
               {0, 203, 1}, {-5, 203, 1}, {std::nan(""), 203, 1}, {INFINITY, 203, 1}, {1e12, 600, kMax}};
  for (const auto& c : cases) EXPECT_EQ(pixelsFor(c.points, c.dpi), c.pixels) << c.points << " pt";
  EXPECT_EQ(renderFlags(true), 0x5001);
  EXPECT_EQ(renderFlags(false), 0x01);
}

}  // namespace
}  // namespace zorvik::printing
