// Small UTF-8 text helpers for tool output: trimming, case folding of the
// Latin and Cyrillic letters the tools print, and line splitting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvik::signing {

// Strips Unicode white space from both ends.
[[nodiscard]] std::string_view trim(std::string_view text);

// Lower/upper case of ASCII and Cyrillic letters (А–Я, а–я, Ѐ–Џ, ѐ–џ); every
// other character is kept as it is. Invalid UTF-8 bytes are kept too.
[[nodiscard]] std::string toLower(std::string_view text);
[[nodiscard]] std::string toUpper(std::string_view text);

[[nodiscard]] bool isValidUtf8(std::string_view bytes);
// The text with every invalid UTF-8 sequence replaced by U+FFFD.
[[nodiscard]] std::string toValidUtf8(std::string_view bytes);

// Lines split at '\n', a '\r' before it dropped; a final empty line is not
// returned.
[[nodiscard]] std::vector<std::string_view> splitLines(std::string_view text);

// Appends the UTF-8 form of `cp`.
void appendUtf8(std::string& out, char32_t cp);

}  // namespace zorvik::signing
