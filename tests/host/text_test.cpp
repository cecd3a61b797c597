// The shared ASCII helpers: trimming with either set of blanks, and letter case
// folded for ASCII only.
#include <gtest/gtest.h>

#include "core/text.hpp"

namespace zorvik {
namespace {

TEST(Text, TrimmedDropsTheBlanksOfItsSetAtBothEndsOnly) {
  struct Case {
    std::string_view text;
    std::string_view blanks;
    std::string_view expected;
  } cases[] = {
      {" \t 4x6 in \r\n", kAsciiSpace, "4x6 in"},
      {"\f\vLetter\v", kAsciiSpace, "Letter"},
      {"a  b", kAsciiSpace, "a  b"},  // inside stays
      {" \t\r\n", kAsciiSpace, ""},
      {"", kAsciiSpace, ""},
      {"Content-Type: text/plain\r\n", kLineBlanks, "Content-Type: text/plain"},
      // A protocol line keeps form feed and vertical tab, so a checker still sees them.
      {"\vvalue\f", kLineBlanks, "\vvalue\f"},
      {"\xC2\xA0x", kAsciiSpace, "\xC2\xA0x"},  // no-break space is not ASCII
  };
  for (const auto& c : cases) EXPECT_EQ(trimmed(c.text, c.blanks), c.expected) << c.text;
}

TEST(Text, LetterCaseIsFoldedForAsciiOnly) {
  EXPECT_EQ(asciiLower("HTTPS://Example.ORG/Path"), "https://example.org/path");
  EXPECT_EQ(asciiLower("ПРИВЕТ"), "ПРИВЕТ");
  EXPECT_TRUE(asciiEqualNoCase("Content-Type", "content-TYPE"));
  EXPECT_FALSE(asciiEqualNoCase("content-type", "content-typ"));
  EXPECT_FALSE(asciiEqualNoCase("\xE2\x84\xAA", "k"));  // the Kelvin sign is not "k"
  EXPECT_TRUE(asciiStartsWithNoCase("TSD-AUTH://pin/1234", "tsd-auth:"));
  EXPECT_FALSE(asciiStartsWithNoCase("tsd", "tsd-auth:"));
}

}  // namespace
}  // namespace zorvik
