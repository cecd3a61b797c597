#include "signing/tool_output.hpp"

#include <gtest/gtest.h>

#include "signing/text.hpp"

namespace zorvik::signing {
namespace {

TEST(ToolOutput, ReducedCodePageTables) {
  struct Case {
    unsigned char byte;
    const char* cp866;
    const char* cp1251;
  };
  const Case cases[] = {
      {'A', "A", "A"},       {0x80, "А", " "},      {0x9F, "Я", " "},      {0xA0, "а", " "},
      {0xAF, "п", " "},      {0xB0, " ", " "},      {0xDF, " ", "Я"},      {0xE0, "р", "а"},
      {0xEF, "я", "п"},      {0xF0, "Ё", "р"},      {0xF1, "ё", "с"},      {0xFC, "№", "ь"},
      {0xFF, " ", "я"},      {0xA8, "и", "Ё"},      {0xB8, " ", "ё"},      {0xB9, " ", "№"},
  };
  for (const auto& c : cases) {
    std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(decodeCp866(byte), c.cp866) << int(c.byte);
    EXPECT_EQ(decodeCp1251(byte), c.cp1251) << int(c.byte);
  }
}

TEST(ToolOutput, ChoosesTheReadingThatHoldsAListingWord) {
  // "Субъект : Иван" in each code page.
  const std::string cp866 = "\x91\xE3\xA1\xEA\xA5\xAA\xE2 : \x88\xA2\xA0\xAD";
  const std::string cp1251 = "\xD1\xF3\xE1\xFA\xE5\xEA\xF2 : \xC8\xE2\xE0\xED";
  EXPECT_EQ(decodeToolOutput(cp866), "Субъект : Иван");
  EXPECT_EQ(decodeToolOutput(cp1251), "Субъект : Иван");
  // Valid UTF-8 is kept, even without a listing word.
  EXPECT_EQ(decodeToolOutput("Ошибка: ключ"), "Ошибка: ключ");
  // Neither reading has a listing word: the CP866 reading.
  const std::string cp1251Other = "\xCE\xF8\xE8\xE1\xEA\xE0";  // "Ошибка" in CP1251
  EXPECT_EQ(decodeToolOutput(cp1251Other), decodeCp866(cp1251Other));
  EXPECT_EQ(decodeToolOutput(""), "");
}

TEST(ToolOutput, Utf8CheckRefusesMalformedSequences) {
  const std::pair<std::string, bool> cases[] = {
      {"plain", true},        {"Ёё№", true},          {"\xF0\x9F\x98\x80", true},
      {"\xC0\xAF", false},    {"\xE0\x80\xAF", false},  // overlong
      {"\xED\xA0\x80", false},                            // surrogate
      {"\xF4\x90\x80\x80", false},                        // above U+10FFFF
      {"\xD0", false},        {"\x80", false},
  };
  for (const auto& [bytes, valid] : cases) EXPECT_EQ(isValidUtf8(bytes), valid) << bytes;
  EXPECT_EQ(toValidUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(Text, TrimAndCaseCoverCyrillic) {
  EXPECT_EQ(trim(" \t\xC2\xA0 Субъект \r\n"), "Субъект");
  EXPECT_EQ(trim("   "), "");
  EXPECT_EQ(toLower("PrivateKey ЗАКРЫТОМУ КЛЮЧУ Ёж"), "privatekey закрытому ключу ёж");
  EXPECT_EQ(toUpper("инн юл oid."), "ИНН ЮЛ OID.");
  EXPECT_EQ(splitLines("a\r\nb\n\nc\n"), (std::vector<std::string_view>{"a", "b", "", "c"}));
}

}  // namespace
}  // namespace zorvik::signing
