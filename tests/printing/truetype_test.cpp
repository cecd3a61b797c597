#include "printing/truetype.hpp"

#include <gtest/gtest.h>

#include "font_support.hpp"
#include "printing/test_page.hpp"

namespace zorvik::printing {
namespace {

using testing::cmapTable;
using testing::fontFile;
using testing::format4;
using testing::smallFontTables;

TEST(TrueType, ReadsTheMetricsOfASmallFont) {
  Bytes file = fontFile(smallFontTables());
  auto font = TrueTypeFont::parse(file);
  ASSERT_TRUE(font) << font.error();
  EXPECT_EQ(font->unitsPerEm(), 2048);
  EXPECT_EQ(font->xMin(), -100);
  EXPECT_EQ(font->yMin(), -400);
  EXPECT_EQ(font->xMax(), 2000);
  EXPECT_EQ(font->yMax(), 1900);
  EXPECT_EQ(font->ascender(), 1800);
  EXPECT_EQ(font->descender(), -500);
  EXPECT_EQ(font->capHeight(), 1400);

  EXPECT_EQ(font->glyph('A'), 1);
  EXPECT_EQ(font->glyph('C'), 3);
  EXPECT_EQ(font->glyph(' '), 4);  // through the glyph number array
  EXPECT_EQ(font->glyph('7'), 17);
  EXPECT_EQ(font->glyph('D'), 0);
  EXPECT_EQ(font->glyph(U'Ж'), 0);
  EXPECT_EQ(font->glyph(0x1F600), 0);

  EXPECT_EQ(font->advance(2), 1100);
  EXPECT_EQ(font->advance(17), 300);  // past the last metric: the last one
  // "AB 7" = 1000 + 1100 + 300 + 300 units of 2048, at 20 points.
  EXPECT_DOUBLE_EQ(font->textWidth("AB 7", 20), 2700.0 / 2048 * 20);
  EXPECT_DOUBLE_EQ(font->textWidth("Ж", 10), 500.0 / 2048 * 10);  // the missing glyph's width
}

TEST(TrueType, CapHeightFallsBackToSevenTenthsOfTheAscender) {
  struct Case {
    const char* what;
    std::optional<Bytes> os2;
    int expected;
  };
  for (const Case& c : {Case{"no OS/2", std::nullopt, 1260}, Case{"version 1", testing::os2Table(1, 1400), 1260},
                        Case{"cap height 0", testing::os2Table(3, 0), 1260},
                        Case{"table too short", Bytes(60, 0), 1260}, Case{"version 4", testing::os2Table(4, 1333), 1333}}) {
    auto tables = smallFontTables();
    std::erase_if(tables, [](auto& t) { return t.first == "OS/2"; });
    if (c.os2) tables.emplace_back("OS/2", *c.os2);
    Bytes file = fontFile(tables);
    auto font = TrueTypeFont::parse(file);
    ASSERT_TRUE(font) << c.what << ": " << font.error();
    EXPECT_EQ(font->capHeight(), c.expected) << c.what;
  }
}

TEST(TrueType, PrefersTheWindowsUnicodeMapThenAUnicodePlatformOne) {
  Bytes windows = format4({{'A', 'A', 7 - 'A'}});
  Bytes unicode = format4({{'A', 'A', 8 - 'A'}});
  Bytes format6 = testing::FontBytes().u16(6).u16(10).u16(0).u16(0).u16(0).done();
  struct Case {
    std::vector<std::tuple<unsigned, unsigned, Bytes>> subtables;
    std::uint16_t glyphOfA;
  };
  for (const Case& c : {Case{{{0, 3, unicode}, {3, 1, windows}}, 7}, Case{{{1, 0, windows}, {0, 4, unicode}}, 8},
                        Case{{{3, 1, format6}, {0, 3, unicode}}, 8}}) {
    auto tables = smallFontTables();
    tables.back() = {"cmap", cmapTable(c.subtables)};
    Bytes file = fontFile(tables);
    auto font = TrueTypeFont::parse(file);
    ASSERT_TRUE(font) << font.error();
    EXPECT_EQ(font->glyph('A'), c.glyphOfA);
  }
}

TEST(TrueType, DamagedFontsAreRefusedWithTheirReasons) {
  using Tables = std::vector<std::pair<std::string, Bytes>>;
  auto without = [](const std::string& tag) {
    Tables t = smallFontTables();
    std::erase_if(t, [&tag](auto& entry) { return entry.first == tag; });
    return fontFile(t);
  };
  auto replaced = [](const std::string& tag, Bytes data) {
    Tables t = smallFontTables();
    for (auto& entry : t)
      if (entry.first == tag) entry.second = std::move(data);
    return fontFile(t);
  };
  Bytes whole = fontFile(smallFontTables());
  Bytes cutDirectory(whole.begin(), whole.begin() + 12 + 16 * 2);
  Bytes format12Only = testing::FontBytes().u16(12).u16(0).u32(16).u32(0).u32(0).done();
  struct Case {
    const char* what;
    Bytes file;
    const char* error;
  };
  for (const Case& c : {
           Case{"empty", Bytes{}, "обрезанный список таблиц"},
           Case{"directory cut", cutDirectory, "обрезанный список таблиц"},
           Case{"no head", without("head"), "в шрифте нет таблицы head"},
           Case{"head cut", replaced("head", Bytes(40, 0)), "head обрезана"},
           Case{"head without units", replaced("head", testing::headTable(0, 0, 0, 0, 0)), "head обрезана"},
           Case{"no hhea", without("hhea"), "в шрифте нет таблицы hhea"},
           Case{"hhea cut", replaced("hhea", Bytes(20, 0)), "hhea обрезана"},
           Case{"no hmtx", without("hmtx"), "в шрифте нет таблицы hmtx"},
           Case{"no metrics", replaced("hhea", testing::hheaTable(1800, -500, 0)), "в шрифте нет ширин глифов"},
           Case{"hmtx empty", replaced("hmtx", Bytes{}), "в шрифте нет ширин глифов"},
           Case{"no cmap", without("cmap"), "в шрифте нет таблицы cmap"},
           Case{"cmap cut", replaced("cmap", Bytes{0, 0, 0, 3, 0, 3}), "cmap обрезана"},
           Case{"format 4 cut", replaced("cmap", cmapTable({{3, 1, Bytes{0, 4, 0, 40, 0, 0, 0, 8}}})), "cmap обрезана"},
           Case{"Unicode only as format 12", replaced("cmap", cmapTable({{3, 10, format12Only}, {0, 4, format12Only}})),
                "в cmap нет подтаблицы формата 4"},
           Case{"no Unicode map", replaced("cmap", cmapTable({{1, 0, format4({{'A', 'A', 1}})}})),
                "в шрифте не нашлось таблицы символов Unicode"},
       }) {
    auto font = TrueTypeFont::parse(c.file);
    ASSERT_FALSE(font) << c.what;
    EXPECT_EQ(font.error(), c.error) << c.what;
  }
}

// The font that ships: PT Sans Regular, with Cyrillic.
TEST(TrueType, TheEmbeddedFontIsReadable) {
  const auto& font = embeddedFont();
  ASSERT_TRUE(font) << font.error();
  EXPECT_EQ(font->unitsPerEm(), 1000);
  EXPECT_GT(font->capHeight(), 0);
  EXPECT_GT(font->ascender(), 0);
  EXPECT_LT(font->descender(), 0);
  for (char32_t ch : std::u32string(U"Зорвик × мм 0123456789.:/")) EXPECT_NE(font->glyph(ch), 0) << int(ch);
  EXPECT_GT(font->textWidth("Зорвик", 10), 20);
  // The whole file travels with the test page; it starts with a TrueType tag.
  ASSERT_GT(font->data().size(), 100000u);
  EXPECT_EQ(font->data()[0], 0);
  EXPECT_EQ(font->data()[1], 1);
}

TEST(TrueType, Utf8DecodingReplacesBrokenBytes) {
  EXPECT_EQ(decodeUtf8("Aж×😀"), (std::vector<char32_t>{U'A', U'ж', U'×', U'😀'}));
  EXPECT_EQ(decodeUtf8("\xD0"), (std::vector<char32_t>{0xFFFD}));
  EXPECT_EQ(decodeUtf8("\xFF" "A"), (std::vector<char32_t>{0xFFFD, U'A'}));
  EXPECT_EQ(decodeUtf8("\xE2\x28\xA1"), (std::vector<char32_t>{0xFFFD, U'(', 0xFFFD}));
}

}  // namespace
}  // namespace zorvik::printing
