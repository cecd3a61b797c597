#include "printing/pdf_fit.hpp"

#include <gtest/gtest.h>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>

#include <cmath>
#include <limits>

#include "pdf_support.hpp"
#include "printing/engine_library.hpp"

namespace zorvik::printing {
namespace {

using testing::box;
using testing::expectValidPdf;
using testing::makePdf;
using testing::onePage;
using testing::readPages;
using testing::stream;
using testing::toString;

constexpr double kMm = 72 / 25.4;

LabelFormat label(double widthMm, double heightMm) {
  LabelFormat f;
  f.widthMm = widthMm;
  f.heightMm = heightMm;
  return f;
}

Bytes pageOfSize(double width, double height, const std::string& extra = "") {
  return onePage(" /MediaBox " + box(0, 0, width, height) + extra);
}

// Fits and expects a rewritten document, checked by qpdf and poppler.
Bytes fitted(const Bytes& pdf, const LabelFormat& format) {
  auto out = fitPdf(pdf, format);
  EXPECT_TRUE(out) << out.error();
  if (!out) return {};
  EXPECT_TRUE(out->has_value()) << "expected a rewritten document";
  if (!out->has_value()) return {};
  expectValidPdf(**out);
  return std::move(**out);
}

testing::PageView onlyPage(const Bytes& pdf) {
  auto pages = readPages(pdf);
  EXPECT_EQ(pages.size(), 1u);
  return pages.empty() ? testing::PageView{} : pages.front();
}

TEST(PdfFit, NoFormatAnswersTheInputItself) {
  Bytes anything = {'n', 'o', 't', ' ', 'a', ' ', 'P', 'D', 'F'};
  auto out = fitPdf(anything, std::nullopt);
  ASSERT_TRUE(out);
  EXPECT_FALSE(out->has_value());
  EXPECT_EQ(*fitPdfBytes(anything, std::nullopt), anything);
}

TEST(PdfFit, ALabelOfTheRightSizeIsLeftByteForByte) {
  Bytes pdf = pageOfSize(75 * kMm, 120 * kMm);
  auto out = fitPdf(pdf, label(75, 120));
  ASSERT_TRUE(out) << out.error();
  EXPECT_FALSE(out->has_value());
  EXPECT_EQ(*fitPdfBytes(pdf, label(75, 120)), pdf);
}

TEST(PdfFit, HalfAMillimetreDecidesBetweenShortcutAndRewrite) {
  Bytes pdf = pageOfSize(75 * kMm, 120 * kMm);
  // Off by 0.4 mm both ways: still printed as it is.
  for (auto [w, h] : {std::pair{75.4, 120.4}, {74.6, 119.6}}) {
    auto out = fitPdf(pdf, label(w, h));
    ASSERT_TRUE(out) << out.error();
    EXPECT_FALSE(out->has_value()) << w << " x " << h;
  }
  // A page turned by /Rotate 90 is compared with its sides swapped.
  EXPECT_FALSE(fitPdf(pageOfSize(120 * kMm, 75 * kMm, " /Rotate 90"), label(75, 120))->has_value());

  // Off by 0.6 mm: rewritten with a scale very close to 1, centred.
  auto page = onlyPage(fitted(pdf, label(75.6, 120.6)));
  ASSERT_TRUE(page.hasMatrix);
  double s = 120.6 / 120;  // the smaller of 75.6/75 and 120.6/120
  EXPECT_NEAR(page.matrix[0], s, 1e-6 + 5e-7);  // six decimals
  EXPECT_NEAR(page.matrix[3], s, 1e-6 + 5e-7);
  EXPECT_NEAR(page.matrix[4], (75.6 - 75 * s) * kMm / 2, 1e-5);
  EXPECT_NEAR(page.matrix[5], 0, 1e-6);
}

TEST(PdfFit, A4FitsOntoA58By40LabelCentredHorizontally) {
  Bytes pdf = pageOfSize(595.28, 841.89);
  auto page = onlyPage(fitted(pdf, label(58, 40)));
  ASSERT_TRUE(page.hasMatrix);
  EXPECT_NEAR(page.matrix[0], 0.1347, 1e-4);
  EXPECT_NEAR(page.matrix[3], 0.1347, 1e-4);
  EXPECT_EQ(page.matrix[1], 0);
  EXPECT_EQ(page.matrix[2], 0);
  EXPECT_NEAR(page.matrix[4], 42.12, 0.01);
  EXPECT_EQ(page.matrix[5], 0);
  // The old content inside one q ... Q, the label's boxes and no rotation.
  EXPECT_EQ(page.content.substr(page.content.find(" cm\n")), " cm\n0 0 m 10 10 l S\nQ\n");
  EXPECT_EQ(page.content.rfind("q\n", 0), 0u);
  ASSERT_EQ(page.mediaBox.size(), 4u);
  EXPECT_NEAR(page.mediaBox[2], 164.41, 0.005);
  EXPECT_NEAR(page.mediaBox[3], 113.39, 0.005);
  EXPECT_EQ(page.mediaBox, page.cropBox);
  EXPECT_EQ(page.rotate, 0);
}

TEST(PdfFit, MatrixNumbersAndBoxesAreWrittenAsDescribed) {
  std::string out = toString(fitted(pageOfSize(595.28, 841.89), label(58, 40)));
  // Six decimals in the matrix, single-precision reals in the boxes.
  EXPECT_NE(out.find(" 0.000000 0.000000 "), std::string::npos);
  EXPECT_NE(out.find("/MediaBox [ 0 0 164.40945 113.385826 ]"), std::string::npos);
  EXPECT_NE(out.find("/Rotate 0"), std::string::npos);
}

TEST(PdfFit, ALandscapePageTurnedBy90IsRotatedOntoAPortraitLabel) {
  Bytes pdf = pageOfSize(841.89, 595.28, " /Rotate 90");
  double W = 100 * kMm, H = 150 * kMm;
  auto page = onlyPage(fitted(pdf, label(100, 150)));
  // L = 90: the content's extents after turning are 595.28 x 841.89.
  double s = std::min(W / 595.28, H / 841.89);
  std::array<double, 6> expected{0, s, -s, 0, 595.28 * s + (W - 595.28 * s) / 2, (H - 841.89 * s) / 2};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(page.matrix[i], expected[i], 1e-5) << i;
  EXPECT_EQ(page.rotate, 0);
}

// Where the corners of a page box land, for every total rotation: the content
// turns counter-clockwise and its extents are centred on the label.
TEST(PdfFit, EveryQuarterTurnMapsTheBoxOntoTheLabel) {
  const double x0 = 10, y0 = 20, bw = 100, bh = 200;
  const double W = 50 * kMm, H = 50 * kMm;
  struct Case {
    int pageRotate;
    std::int64_t formatRotation;
    // Where the box's lower-left corner ends up, as a corner of the image.
    bool right, top;
  };
  for (Case c : {Case{0, 0, false, false}, Case{0, 90, true, false}, Case{90, 90, true, true},
                 Case{0, 270, false, true}, Case{-90, 0, false, true}, Case{450, 0, true, false}}) {
    SCOPED_TRACE(::testing::Message() << "page " << c.pageRotate << " format " << c.formatRotation);
    LabelFormat f = label(50, 50);
    f.rotation = c.formatRotation;
    Bytes pdf = onePage(" /MediaBox " + box(x0, y0, x0 + bw, y0 + bh) + " /Rotate " + std::to_string(c.pageRotate));
    auto page = onlyPage(fitted(pdf, f));
    const auto& m = page.matrix;
    auto map = [&m](double x, double y) { return std::pair{m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]}; };
    bool sideways = m[0] == 0;
    double ex = sideways ? bh : bw, ey = sideways ? bw : bh;
    double s = std::min(W / ex, H / ey);
    double left = (W - ex * s) / 2, bottom = (H - ey * s) / 2;
    auto [lx, ly] = map(x0, y0);
    EXPECT_NEAR(lx, c.right ? left + ex * s : left, 1e-4);
    EXPECT_NEAR(ly, c.top ? bottom + ey * s : bottom, 1e-4);
    auto [ux, uy] = map(x0 + bw, y0 + bh);  // the opposite corner lands opposite
    EXPECT_NEAR(ux, c.right ? left : left + ex * s, 1e-4);
    EXPECT_NEAR(uy, c.top ? bottom : bottom + ey * s, 1e-4);
  }
}

TEST(PdfFit, ModesActualAndFill) {
  Bytes pdf = pageOfSize(200, 300);
  double W = 50 * kMm, H = 50 * kMm;
  LabelFormat actual = label(50, 50);
  actual.fitMode = "actual";
  auto a = onlyPage(fitted(pdf, actual));
  std::array<double, 6> one{1, 0, 0, 1, (W - 200) / 2, (H - 300) / 2};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(a.matrix[i], one[i], 1e-5) << i;
  // Larger than the label: the new boxes cut it at the label's edge.
  EXPECT_NEAR(a.mediaBox[2], W, 1e-3);

  LabelFormat fill = label(50, 50);
  fill.fitMode = "fill";
  auto f = onlyPage(fitted(pdf, fill));
  EXPECT_NEAR(f.matrix[0], W / 200, 1e-6);
  EXPECT_NEAR(f.matrix[3], H / 300, 1e-6);
  EXPECT_NEAR(f.matrix[4], 0, 1e-6);
  EXPECT_NEAR(f.matrix[5], 0, 1e-6);

  // Compared exactly: any other word fits uniformly.
  LabelFormat other = label(50, 50);
  other.fitMode = "Fill";
  auto o = onlyPage(fitted(pdf, other));
  EXPECT_NEAR(o.matrix[0], H / 300, 1e-6);
  EXPECT_NEAR(o.matrix[3], H / 300, 1e-6);
}

TEST(PdfFit, AnInheritedMediaBoxWorksLikeThePagesOwn) {
  Bytes own = pageOfSize(595.28, 841.89);
  Bytes inherited = onePage("", " /MediaBox " + box(0, 0, 595.28, 841.89));
  auto a = onlyPage(fitted(own, label(58, 40)));
  auto b = onlyPage(fitted(inherited, label(58, 40)));
  EXPECT_EQ(a.matrix, b.matrix);
  EXPECT_EQ(a.mediaBox, b.mediaBox);
  // /Rotate is inherited the same way.
  auto turned = onlyPage(fitted(onePage("", " /MediaBox " + box(0, 0, 200, 100) + " /Rotate 90"), label(58, 40)));
  EXPECT_EQ(turned.matrix[0], 0);
}

TEST(PdfFit, TheCropBoxNarrowsThePageWhereItOverlaps) {
  auto cropped = onlyPage(fitted(onePage(" /MediaBox [0 0 600 800] /CropBox [100 100 400 500]"), label(30, 40)));
  double s = std::min(30 * kMm / 300, 40 * kMm / 400);
  EXPECT_NEAR(cropped.matrix[0], s, 1e-6);
  EXPECT_NEAR(cropped.matrix[4], -100 * s + (30 * kMm - 300 * s) / 2, 1e-5);
  EXPECT_NEAR(cropped.matrix[5], -100 * s + (40 * kMm - 400 * s) / 2, 1e-5);

  // A CropBox outside the MediaBox, or not a box at all, leaves the MediaBox.
  for (std::string crop : {"[700 0 900 100]", "[0 0 100]", "(text)"}) {
    auto page = onlyPage(fitted(onePage(" /MediaBox [0 0 600 800] /CropBox " + crop), label(30, 40)));
    EXPECT_NEAR(page.matrix[0], std::min(30 * kMm / 600, 40 * kMm / 800), 1e-6) << crop;
  }
}

TEST(PdfFit, ContentStreamsAreWrappedAsTheyAreNeverRewritten) {
  std::string hex = "71 0A";  // "q\n" through ASCIIHexDecode
  Bytes pdf = makePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents [4 0 R 9 0 R 5 0 R 6 0 R] >>",
                       stream(hex + ">", " /Filter /ASCIIHexDecode"),
                       // A filter nobody can decode: its raw bytes are taken, into a stream of their own.
                       stream("% RAW-MARK", " /Filter /NoSuchDecode"), stream("Q"),
                       "<< /Type /Catalog >>", "<< >>"});
  Bytes out = fitted(pdf, label(50, 25));

  QPDF doc;
  doc.processMemoryFile("fitted.pdf", reinterpret_cast<const char*>(out.data()), out.size());
  QPDFObjectHandle page = doc.getAllPages().front();
  QPDFObjectHandle contents = page.getKey("/Contents");
  ASSERT_TRUE(contents.isArray());
  // A placement stream, the three streams themselves (the entry that is no
  // stream left out), and the closing one.
  ASSERT_EQ(contents.getArrayNItems(), 5);
  EXPECT_EQ(contents.getArrayItem(1).getObjectID(), 4);
  EXPECT_EQ(contents.getArrayItem(3).getObjectID(), 6);
  auto raw = [](QPDFObjectHandle s) {
    auto data = s.getRawStreamData();
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  };
  EXPECT_EQ(raw(contents.getArrayItem(1)), hex + ">");
  EXPECT_EQ(raw(contents.getArrayItem(2)), "% RAW-MARK");
  EXPECT_TRUE(contents.getArrayItem(2).getDict().getKey("/Filter").isNull());
  EXPECT_EQ(raw(contents.getArrayItem(4)), "\nQ\n");
  std::string placement = raw(contents.getArrayItem(0));
  EXPECT_EQ(placement.rfind("q\n", 0), 0u);
  EXPECT_EQ(placement.substr(placement.size() - 4), " cm\n");
}

TEST(PdfFit, ContentThatIsNoStreamGivesAnEmptyContent) {
  // A /Contents that points at itself: the library resolves it to no stream.
  Bytes pdf = makePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>", "4 0 R"});
  auto out = fitPdf(pdf, label(50, 25));
  ASSERT_TRUE(out) << out.error();
  ASSERT_TRUE(out->has_value());
  auto page = onlyPage(**out);
  EXPECT_EQ(page.content.substr(page.content.find(" cm\n")), " cm\n\nQ\n");
}

TEST(PdfFit, EveryPageIsRewrittenWhenOneIsOffSize) {
  Bytes pdf = makePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                       "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /MediaBox " + box(0, 0, 75 * kMm, 120 * kMm) +
                           " >>",
                       "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>", stream("% first"),
                       "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /MediaBox [0 0 595.28 841.89] >>",
                       stream("% second")});
  auto pages = readPages(fitted(pdf, label(75, 120)));
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_NE(pages[0].content.find("% first"), std::string::npos);
  EXPECT_NEAR(pages[0].matrix[0], 1, 1e-6);
  EXPECT_NE(pages[1].content.find("% second"), std::string::npos);
  EXPECT_LT(pages[1].matrix[0], 0.5);
}

TEST(PdfFit, OffsetsShiftTheBoxesWithinTenMillimetres) {
  Bytes pdf = pageOfSize(75 * kMm, 120 * kMm);
  struct Case {
    double x, y;
  };
  for (Case c : {Case{10, -10}, Case{-10, 10}, Case{0.5, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y);
    LabelFormat f = label(75, 120);
    f.offsetXMm = c.x;
    f.offsetYMm = c.y;
    // Correctly sized, yet re-serialised: boxes moved left and down, content untouched.
    auto page = onlyPage(fitted(pdf, f));
    EXPECT_FALSE(page.hasMatrix);
    ASSERT_EQ(page.mediaBox.size(), 4u);
    EXPECT_NEAR(page.mediaBox[0], -c.x * kMm, 1e-4);
    EXPECT_NEAR(page.mediaBox[1], -c.y * kMm, 1e-4);
    EXPECT_NEAR(page.mediaBox[2], 75 * kMm - c.x * kMm, 1e-3);
    EXPECT_TRUE(page.cropBox.empty());  // there was none to move
  }

  // After a rewrite both new boxes move.
  LabelFormat f = label(58, 40);
  f.offsetXMm = 2;
  auto page = onlyPage(fitted(pageOfSize(595.28, 841.89), f));
  EXPECT_NEAR(page.mediaBox[0], -2 * kMm, 1e-4);
  EXPECT_NEAR(page.cropBox[0], -2 * kMm, 1e-4);
  EXPECT_NEAR(page.cropBox[2], 58 * kMm - 2 * kMm, 1e-3);

  // Both zero: no shift stage at all.
  f = label(75, 120);
  f.offsetXMm = 0;
  f.offsetYMm = -0.0;
  EXPECT_FALSE(fitPdf(pdf, f)->has_value());
}

TEST(PdfFit, RefusalsCarryTheSystemsTexts) {
  Bytes good = pageOfSize(75 * kMm, 120 * kMm);
  Bytes garbage = {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', 'x'};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto with = [](LabelFormat f, double x, double y) {
    f.offsetXMm = x;
    f.offsetYMm = y;
    return f;
  };
  struct Case {
    const char* what;
    Bytes pdf;
    LabelFormat format;
    std::string error;  // exact, or the prefix when it ends with ": "
  };
  const std::vector<Case> cases{
      {"width 0, before parsing", garbage, label(0, 40), "Размер этикетки задан неверно"},
      {"negative height", good, label(58, -1), "Размер этикетки задан неверно"},
      {"not a number", good, label(nan, 40), "Размер этикетки задан неверно"},
      {"infinite", good, label(58, inf), "Размер этикетки задан неверно"},
      {"too large for a PDF real", good, label(1e300, 40), "Размер этикетки задан неверно"},
      {"not a PDF", garbage, label(58, 40), "Не удалось разобрать PDF: "},
      {"empty input", Bytes{}, label(58, 40), "Не удалось разобрать PDF: "},
      {"no pages",
       makePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"}),
       label(58, 40), "В PDF нет страниц"},
      {"no MediaBox anywhere", onePage(""), label(58, 40), "У страницы PDF нет размера (MediaBox) — печатать нечего"},
      {"a CropBox alone is no size", onePage(" /CropBox [0 0 100 100]"), label(58, 40),
       "У страницы PDF нет размера (MediaBox) — печатать нечего"},
      {"three numbers are no box", onePage(" /MediaBox [0 0 100]"), label(58, 40),
       "У страницы PDF нет размера (MediaBox) — печатать нечего"},
      {"zero width", onePage(" /MediaBox [0 0 0 100]"), label(58, 40),
       "Размер страницы PDF нулевой или отрицательный"},
      {"upside-down box", onePage(" /MediaBox [0 100 100 0]"), label(58, 40),
       "Размер страницы PDF нулевой или отрицательный"},
      {"offset not a number", good, with(label(75, 120), nan, 0), "Сдвиг задан не числом"},
      {"offset 10.01", good, with(label(75, 120), 10.01, 0), "Сдвиг больше 10 мм — проверьте размер этикетки"},
      {"offset -10.01", good, with(label(75, 120), 0, -10.01), "Сдвиг больше 10 мм — проверьте размер этикетки"},
  };
  for (const Case& c : cases) {
    auto out = fitPdf(c.pdf, c.format);
    ASSERT_FALSE(out) << c.what;
    if (c.error.ends_with(": ")) {
      EXPECT_TRUE(out.error().starts_with(c.error)) << c.what << ": " << out.error();
      EXPECT_GT(out.error().size(), c.error.size()) << c.what;
    } else {
      EXPECT_EQ(out.error(), c.error) << c.what;
    }
  }
}

// Content is never decoded: a stream that inflates to 64 MiB fits as quickly
// as a small one and goes out byte for byte.
TEST(PdfFit, LargeContentIsNeitherDecodedNorCopiedOut) {
  Pl_Buffer buffer("deflated");
  Pl_Flate flate("deflate", &buffer, Pl_Flate::a_deflate);
  std::string chunk(1 << 20, ' ');
  for (int i = 0; i < 64; ++i) flate.write(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
  flate.finish();
  auto data = buffer.getBufferSharedPointer();
  std::string deflated(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  Bytes pdf = makePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
                       stream(deflated, " /Filter /FlateDecode")});
  auto out = fitPdf(pdf, label(50, 25));
  ASSERT_TRUE(out) << out.error();
  ASSERT_TRUE(out->has_value());
  EXPECT_LT((*out)->size(), pdf.size() + 4096);
  EXPECT_NE(toString(**out).find(deflated), std::string::npos);
}

// A file that is not a PDF reads the same with a format as without one: the
// renderer's Russian text, never the library's English one naming its
// internal file.
TEST(PdfFit, ABrokenPdfGivesTheRenderersText) {
  const std::string expected = "Не удалось разобрать PDF: " + engineErrorText(engine_api::kErrFormat);
  for (const Bytes& broken : {Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', 'x'}, Bytes{'<', 'h', 't', 'm', 'l', '>'},
                              Bytes{}}) {
    auto out = fitPdf(broken, label(58, 40));
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error(), expected);
  }
}

}  // namespace
}  // namespace zorvik::printing
