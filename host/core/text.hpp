// ASCII text helpers shared by every module: trimming and letter case.
// Letter case is folded for ASCII only, so "K" (the Kelvin sign) never equals
// "k"; protocol names, schemes and header names are ASCII by definition.
#pragma once

#include <string>
#include <string_view>

namespace zorvik {

// ASCII white space: space, tab, CR, LF, form feed, vertical tab.
inline constexpr std::string_view kAsciiSpace = " \t\r\n\f\v";
// The blanks and line end of a protocol line (an HTTP header line, say).
inline constexpr std::string_view kLineBlanks = " \t\r\n";

// `text` without the characters of `blanks` at either end.
[[nodiscard]] constexpr std::string_view trimmed(std::string_view text, std::string_view blanks = kAsciiSpace) {
  auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

[[nodiscard]] constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

[[nodiscard]] inline std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiLower(c);
  return out;
}

[[nodiscard]] constexpr bool asciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

[[nodiscard]] constexpr bool asciiStartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && asciiEqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace zorvik
