#include "signing/tool_output.hpp"

#include <cstdint>

#include "signing/text.hpp"

namespace zorvik::signing {

namespace {

char32_t cp866(std::uint8_t b) {
  if (b < 0x80) return b;
  if (b <= 0x9F) return 0x0410 + (b - 0x80);  // А–Я
  if (b <= 0xAF) return 0x0430 + (b - 0xA0);  // а–п
  if (b >= 0xE0 && b <= 0xEF) return 0x0440 + (b - 0xE0);  // р–я
  if (b == 0xF0) return 0x0401;  // Ё
  if (b == 0xF1) return 0x0451;  // ё
  if (b == 0xFC) return 0x2116;  // №
  return ' ';  // pseudo-graphics and the rest
}

char32_t cp1251(std::uint8_t b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return 0x0410 + (b - 0xC0);  // А–я
  if (b == 0xA8) return 0x0401;
  if (b == 0xB8) return 0x0451;
  if (b == 0xB9) return 0x2116;
  return ' ';
}

template <class Table>
std::string decodeWith(std::string_view bytes, Table table) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) appendUtf8(out, table(static_cast<std::uint8_t>(c)));
  return out;
}

}  // namespace

std::string decodeCp866(std::string_view bytes) { return decodeWith(bytes, cp866); }
std::string decodeCp1251(std::string_view bytes) { return decodeWith(bytes, cp1251); }

bool hasListingWord(std::string_view text) {
  for (std::string_view word : {"Субъект", "Издатель", "Серийный", "Отпечаток"})
    if (text.find(word) != std::string_view::npos) return true;
  return false;
}

std::string decodeToolOutput(std::string_view bytes) {
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string dos = decodeCp866(bytes);
  if (hasListingWord(dos)) return dos;
  std::string win = decodeCp1251(bytes);
  if (hasListingWord(win)) return win;
  return dos;
}

}  // namespace zorvik::signing
