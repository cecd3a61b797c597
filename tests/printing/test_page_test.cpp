#include "printing/test_page.hpp"

#include <gtest/gtest.h>

#include <limits>

#include <algorithm>
#include <fstream>
#include <regex>

#include "app/config.hpp"
#include "commands/command_set.hpp"
#include "bridge/dispatcher.hpp"
#include "font_support.hpp"
#include "host_context.hpp"
#include "pdf_support.hpp"

namespace zorvik::printing {
namespace {

using testing::expectValidPdf;
using testing::toString;

constexpr CalendarDate kDay{2026, 3, 7};

const TrueTypeFont& font() { return *embeddedFont(); }

LabelFormat label(double widthMm, double heightMm, std::optional<std::int64_t> rotation = std::nullopt) {
  LabelFormat f;
  f.widthMm = widthMm;
  f.heightMm = heightMm;
  f.rotation = rotation;
  return f;
}

// The glyph numbers of a text as the page writes them.
std::string hexOf(const TrueTypeFont& f, std::string_view text) {
  std::string out;
  char digits[8];
  for (char32_t ch : decodeUtf8(text)) {
    std::snprintf(digits, sizeof digits, "%04X", f.glyph(ch));
    out += digits;
  }
  return out;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Baselines (the "Td" y) of the text lines, in order.
std::vector<double> baselines(const std::string& content) {
  std::vector<double> ys;
  std::regex td(R"(Tf [-0-9.]+ ([-0-9.]+) Td)");
  for (auto it = std::sregex_iterator(content.begin(), content.end(), td); it != std::sregex_iterator(); ++it)
    ys.push_back(std::stod((*it)[1]));
  return ys;
}

TEST(TestPage, TheDefaultPageHasThreeFramesRulersAndFiveLines) {
  TestPageLayout page = layoutTestPage(testPageFormat(std::nullopt), font(), kDay);
  EXPECT_NEAR(page.widthPt, 164.41, 0.005);
  EXPECT_NEAR(page.heightPt, 113.39, 0.005);
  // Frames 0, 2 and 5 mm from the edge, then ticks every 10 mm, 50 mm longer.
  const std::string drawing =
      "0.5 w\n0.25 0.25 163.91 112.89 re S\n"
      "0.8 w\n6.07 6.07 152.27 101.25 re S\n"
      "1.2 w\n14.77 14.77 134.86 83.84 re S\n"
      "0.5 w\n"
      "28.35 14.17 m 28.35 22.68 l S\n56.69 14.17 m 56.69 22.68 l S\n85.04 14.17 m 85.04 22.68 l S\n"
      "113.39 14.17 m 113.39 22.68 l S\n141.73 14.17 m 141.73 31.18 l S\n"
      "14.17 28.35 m 22.68 28.35 l S\n14.17 56.69 m 22.68 56.69 l S\n14.17 85.04 m 22.68 85.04 l S\n"
      "q\n";
  EXPECT_EQ(page.content.substr(0, drawing.size()), drawing);
  EXPECT_TRUE(page.content.ends_with("> Tj ET\nQ\n"));

  EXPECT_EQ(page.lineCount, 5);
  EXPECT_EQ(count(page.content, "BT /F1 "), 5u);
  for (const char* line : {"Зорвик", "Тестовая страница 58 × 40 мм", "Рамки: 0 / 2 / 5 мм от края",
                           "Деления линейки через 10 мм", "версия 0.66.2"})
    EXPECT_NE(page.content.find("<" + hexOf(font(), line) + ">"), std::string::npos) << line;
  // The title at 1.25 × the size, 7 mm from the left and top edges.
  double s = page.fontSize;
  EXPECT_GE(s, 5.0);
  EXPECT_LE(s, 9.0);
  char first[96];
  std::snprintf(first, sizeof first, "BT /F1 %.2f Tf 19.84 %.2f Td <", 1.25 * s, 113.3858 - 19.8425 - 1.25 * s);
  EXPECT_NE(page.content.find(first), std::string::npos) << page.content;
  // Each line 1.35 × its size below the last, each paragraph a quarter size more.
  auto ys = baselines(page.content);
  ASSERT_EQ(ys.size(), 5u);
  EXPECT_NEAR(ys[0] - ys[1], 1.35 * 1.25 * s + 0.25 * s, 0.011);
  EXPECT_NEAR(ys[1] - ys[2], 1.35 * s + 0.25 * s, 0.011);
}

TEST(TestPage, ASmallLabelGetsOneFrameNoRulersAndTheDate) {
  TestPageLayout page = layoutTestPage(testPageFormat(label(58, 25)), font(), kDay);
  const std::string drawing = "0.5 w\n0.25 0.25 163.91 70.37 re S\nq\n";
  EXPECT_EQ(page.content.substr(0, drawing.size()), drawing);
  EXPECT_EQ(count(page.content, " re S"), 1u);
  EXPECT_EQ(count(page.content, " l S"), 0u);
  EXPECT_EQ(page.lineCount, 3);
  EXPECT_LE(page.fontSize, 6.0);
  EXPECT_GE(page.fontSize, 1.2);
  for (const char* line : {"Зорвик", "58 × 25 мм", "07.03.2026"})
    EXPECT_NE(page.content.find("<" + hexOf(font(), line) + ">"), std::string::npos) << line;
  char first[96];
  std::snprintf(first, sizeof first, "BT /F1 %.2f Tf 5.67 %.2f Td <", page.fontSize,
                70.8661 - 5.6693 - page.fontSize);
  EXPECT_NE(page.content.find(first), std::string::npos) << page.content;
}

TEST(TestPage, TheSizeSearchShrinksTheTextToTheLabel) {
  struct Case {
    LabelFormat format;
    double expected;  // the size found, or the fallback
  };
  for (const Case& c : {Case{label(100, 150), 9.0}, Case{label(58, 29.9), 6.0}, Case{label(5, 5), 1.2},
                        Case{label(20, 40), 5.0}}) {
    TestPageLayout page = layoutTestPage(testPageFormat(c.format), font(), kDay);
    EXPECT_DOUBLE_EQ(page.fontSize, c.expected) << c.format.widthMm << " x " << c.format.heightMm;
  }
}

TEST(TestPage, RotationTurnsTheTextBlockInsideTheLabel) {
  struct Case {
    LabelFormat format;
    const char* wrapper;
  };
  LabelFormat landscape = label(100, 150);
  landscape.orientation = "landscape";
  for (const Case& c : {Case{label(100, 150, 90), "q 0 1 -1 0 283.46 0 cm\n"}, Case{landscape, "q 0 1 -1 0 283.46 0 cm\n"},
                        Case{label(100, 150, 180), "q -1 0 0 -1 283.46 425.20 cm\n"},
                        Case{label(100, 150, -90), "q 0 -1 1 0 0 425.20 cm\n"}, Case{label(100, 150, 45), "q\n"}}) {
    TestPageLayout page = layoutTestPage(testPageFormat(c.format), font(), kDay);
    // Frames and rulers stay in page coordinates.
    EXPECT_TRUE(page.content.starts_with("0.5 w\n0.25 0.25 282.96 424.70 re S\n")) << c.wrapper;
    EXPECT_EQ(count(page.content, " l S\n"), 9u + 14u);
    EXPECT_NE(page.content.find("l S\n" + std::string(c.wrapper) + "BT "), std::string::npos) << c.wrapper;
  }
  // Turned a quarter, the text lies in a 150 x 100 box: its first baseline
  // is measured from 100 mm, and no line needs wrapping.
  TestPageLayout turned = layoutTestPage(testPageFormat(label(100, 150, 90)), font(), kDay);
  EXPECT_NEAR(baselines(turned.content).front(), 283.46 - 19.84 - 1.25 * turned.fontSize, 0.011);
  EXPECT_EQ(turned.lineCount, 5);
}

TEST(TestPage, WrappingIsGreedyAtWordBoundaries) {
  Bytes file = testing::fontFile(testing::smallFontTables());
  auto small = TrueTypeFont::parse(file);
  ASSERT_TRUE(small) << small.error();
  // At 2.048 points a unit of this font is a thousandth of a point: A 1, B 1.1, C 1.2, space 0.3.
  struct Case {
    const char* line;
    double maxWidth;
    std::vector<std::string> expected;
  };
  for (const Case& c : {
           Case{"AB C", 3.6, {"AB C"}},
           Case{"AB C", 3.5, {"AB", "C"}},
           Case{"A B C", 2.6, {"A B", "C"}},
           Case{"A B C", 0.5, {"A", "B", "C"}},
           Case{"AAAA B", 2.0, {"AAAA", "B"}},  // too wide alone, still alone on its line
           Case{"A  B", 3.0, {"A  B"}},           // fits whole: kept as it is
           Case{"A  B", 1.5, {"A", "B"}},
       }) {
    EXPECT_EQ(wrapText(c.line, 2.048, c.maxWidth, *small), c.expected) << c.line << " in " << c.maxWidth;
  }
}

TEST(TestPage, AMissingGlyphIsWrittenAsZeroAndLeftOutOfTheWidths) {
  Bytes file = testing::fontFile(testing::smallFontTables());
  auto small = TrueTypeFont::parse(file);
  ASSERT_TRUE(small) << small.error();
  TestPageLayout page = layoutTestPage(testPageFormat(label(58, 25)), *small, kDay);
  EXPECT_TRUE(page.glyphs.contains(0));
  // "Зорвик" has no glyphs in this font; the digits of the date have.
  EXPECT_NE(page.content.find("<000000000000000000000000>"), std::string::npos);
  EXPECT_NE(page.content.find("<000A00110000000A000D0000000C000A000C0010>"), std::string::npos);

  std::string pdf = toString(writeTestPagePdf(page, *small));
  // Space and digits all take the last advance, 300 of 2048 units.
  EXPECT_NE(pdf.find("/W [4 [146] 10 [146] 12 [146] 13 [146] 15 [146] 16 [146] 17 [146] 18 [146]]"),
            std::string::npos);
  EXPECT_NE(pdf.find("/FontBBox [-49 -195 977 928] /ItalicAngle 0 /Ascent 879 /Descent -244 /CapHeight 684 "),
            std::string::npos);
}

TEST(TestPage, TheFileHasEightObjectsAndAnExactCrossReferenceTable) {
  TestPageLayout page = layoutTestPage(testPageFormat(std::nullopt), font(), kDay);
  Bytes bytes = writeTestPagePdf(page, font());
  std::string pdf = toString(bytes);
  EXPECT_TRUE(pdf.starts_with("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"));
  EXPECT_TRUE(pdf.ends_with("trailer\n<< /Size 9 /Root 1 0 R >>\nstartxref\n" +
                            std::to_string(pdf.rfind("xref\n0 9\n")) + "\n%%EOF\n"));
  std::size_t xref = pdf.rfind("xref\n0 9\n0000000000 65535 f \n");
  ASSERT_NE(xref, std::string::npos);
  std::size_t at = xref + std::string("xref\n0 9\n0000000000 65535 f \n").size();
  for (int object = 1; object <= 8; ++object, at += 20) {
    std::string entry = pdf.substr(at, 20);
    ASSERT_TRUE(std::regex_match(entry, std::regex(R"(\d{10} 00000 n \n)"))) << entry;
    std::size_t offset = std::stoul(entry.substr(0, 10));
    EXPECT_EQ(pdf.substr(offset, std::to_string(object).size() + 7), std::to_string(object) + " 0 obj\n");
  }
  EXPECT_EQ(pdf.substr(at, 8), "trailer\n");

  EXPECT_NE(pdf.find("3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 164.41 113.39] /Resources << /Font << "
                     "/F1 4 0 R >> >> /Contents 8 0 R >>\nendobj\n"),
            std::string::npos);
  // The font whole, both lengths its size; the content stream as laid out.
  auto data = font().data();
  std::string fontHead = "7 0 obj\n<< /Length " + std::to_string(data.size()) + " /Length1 " +
                         std::to_string(data.size()) + " >>\nstream\n";
  std::size_t fontAt = pdf.find(fontHead);
  ASSERT_NE(fontAt, std::string::npos);
  EXPECT_EQ(pdf.substr(fontAt + fontHead.size(), data.size()), std::string(data.begin(), data.end()));
  EXPECT_EQ(pdf.substr(fontAt + fontHead.size() + data.size(), 18), "\nendstream\nendobj\n");
  EXPECT_NE(pdf.find("8 0 obj\n<< /Length " + std::to_string(page.content.size()) + " >>\nstream\n" + page.content +
                     "\nendstream\nendobj\nxref\n"),
            std::string::npos);
  // Widths of the glyphs used, ascending, without the missing glyph.
  std::smatch widths;
  ASSERT_TRUE(std::regex_search(pdf, widths, std::regex(R"(/W \[((\d+ \[\d+\] ?)+)\])")));
  std::string entries = widths[1].str();
  EXPECT_FALSE(page.glyphs.contains(0));
  EXPECT_EQ(std::count(entries.begin(), entries.end(), '['), static_cast<long>(page.glyphs.size()));
}

TEST(TestPage, EveryVariantIsAValidPdf) {
  LabelFormat shifted = label(58, 40);
  shifted.offsetXMm = 3;
  shifted.offsetYMm = -2;
  for (const std::optional<LabelFormat>& format :
       {std::optional<LabelFormat>{}, std::optional{label(58, 25)}, std::optional{label(100, 150, 90)},
        std::optional{label(100, 150, 180)}, std::optional{label(100, 150, 270)}, std::optional{label(10, 10)},
        std::optional{label(5080, 5080)}, std::optional{shifted}}) {
    SCOPED_TRACE(format ? std::to_string(format->widthMm) + " x " + std::to_string(format->heightMm) : "none");
    auto pdf = renderTestPage(format, kDay);
    ASSERT_TRUE(pdf) << pdf.error();
    expectValidPdf(*pdf);
  }
}

TEST(TestPage, RenderFitsThePageAndFallsBackToTheUnfittedOne) {
  auto plain = generateTestPage(label(58, 40), kDay);
  ASSERT_TRUE(plain);
  // Already the label's size: nothing to change.
  EXPECT_EQ(*renderTestPage(label(58, 40), kDay), *plain);
  // The page carries its rotation itself; it is not turned a second time.
  EXPECT_EQ(*renderTestPage(label(100, 150, 90), kDay), *generateTestPage(label(100, 150, 90), kDay));
  // A shift moves the page's boxes.
  LabelFormat shifted = label(58, 40);
  shifted.offsetXMm = 3;
  auto moved = renderTestPage(shifted, kDay);
  ASSERT_TRUE(moved);
  auto pages = testing::readPages(*moved);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NEAR(pages[0].mediaBox[0], -3 * kPointsPerMm, 1e-3);
}

// The page is drawn at the label's size: only 10 to 5080 mm either way, or its
// boxes would be empty, negative or not numbers ("inf").
TEST(TestPage, SizesOutsideTenTo5080MmAreRefused) {
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [w, h] : std::vector<std::pair<double, double>>{
           {1e308, 1e308}, {-58, 40}, {58, -40}, {0, 0}, {0, 40}, {9.99, 40}, {58, 5080.01}, {inf, 40},
           {std::numeric_limits<double>::quiet_NaN(), 40}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    EXPECT_EQ(renderTestPage(label(w, h), kDay).error(), "Размер этикетки задан неверно");
    EXPECT_EQ(generateTestPage(label(w, h), kDay).error(), "Размер этикетки задан неверно");
  }
}

struct Host {
  testing::TempDir tmp;
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = tmp.path()]() -> Result<std::filesystem::path> { return dir / "logs"; }};
  HostContext ctx{config, log, nullptr};
  bridge::CommandTable table = commands::buildCommandTable();
  bridge::Dispatcher dispatcher{table, config.permissions, ctx, nullptr, nullptr};
};

TEST(TestPage, RenderTestPageAnswersRawPdfBytes) {
  Host h;
  auto reply = h.dispatcher.call("render_test_page", Json::parse(R"({"format": {"widthMm": 58, "heightMm": 40}})"));
  ASSERT_TRUE(reply) << reply.error();
  ASSERT_TRUE(std::holds_alternative<Bytes>(reply->body));
  EXPECT_EQ(std::get<Bytes>(reply->body), *generateTestPage(label(58, 40), kDay));

  auto none = h.dispatcher.call("render_test_page", Json::object());
  ASSERT_TRUE(none) << none.error();
  EXPECT_EQ(std::get<Bytes>(none->body), *generateTestPage(std::nullopt, kDay));

  auto wrong = h.dispatcher.call("render_test_page", Json::parse(R"({"format": {"widthMm": 58}})"));
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error(), "invalid args `format` for command `render_test_page`: missing field `heightMm`");
}

TEST(TestPage, RenderTestPageThroughInvoke) {
  testing::TempDir dir;
  auto out = dir.path() / "page.pdf";
  auto [status, output] = testing::run(std::string("XDG_DATA_HOME='") + dir.path().string() + "' '" + ZORVIK_APP +
                                       "' --invoke render_test_page '{\"format\":{\"widthMm\":100,\"heightMm\":150,"
                                       "\"rotation\":90}}' > '" + out.string() + "'");
  ASSERT_EQ(status, 0) << output;
  std::ifstream in(out, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, *generateTestPage(label(100, 150, 90), kDay));
  expectValidPdf(bytes);

  auto [badStatus, badOutput] = testing::run(std::string("'") + ZORVIK_APP +
                                             "' --invoke render_test_page '{\"format\":\"big\"}'");
  EXPECT_EQ(badStatus, 1);
  EXPECT_NE(badOutput.find("expected a label format object"), std::string::npos) << badOutput;
}

}  // namespace
}  // namespace zorvik::printing
