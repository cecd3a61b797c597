#include "signing/text.hpp"

#include <cstdint>
#include <optional>

namespace zorvik::signing {

namespace {

struct Decoded {
  char32_t cp;
  std::size_t length;
};

// One well-formed UTF-8 sequence at the start of `s` (no overlong forms, no
// surrogates, nothing above U+10FFFF), or nothing.
std::optional<Decoded> decodeOne(std::string_view s) {
  if (s.empty()) return std::nullopt;
  auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  std::uint8_t c = b(0);
  if (c < 0x80) return Decoded{c, 1};
  std::size_t len;
  char32_t cp;
  std::uint8_t lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return std::nullopt;
  }
  if (s.size() < len) return std::nullopt;
  for (std::size_t i = 1; i < len; ++i) {
    std::uint8_t t = b(i);
    if (i == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) return std::nullopt;
    cp = (cp << 6) | (t & 0x3F);
  }
  return Decoded{cp, len};
}

bool isWhite(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
         cp == 0x3000;
}

char32_t lowerOf(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;
  if (cp >= 0x0400 && cp <= 0x040F) return cp + 0x50;
  return cp;
}

char32_t upperOf(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 0x20;
  if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;
  if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;
  return cp;
}

template <class Map>
std::string mapCase(std::string_view text, Map map) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    auto d = decodeOne(text);
    if (!d) {
      out.push_back(text.front());
      text.remove_prefix(1);
      continue;
    }
    appendUtf8(out, map(d->cp));
    text.remove_prefix(d->length);
  }
  return out;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string_view trim(std::string_view text) {
  // From the front: whole code points.
  while (!text.empty()) {
    auto d = decodeOne(text);
    if (!d || !isWhite(d->cp)) break;
    text.remove_prefix(d->length);
  }
  // From the back: find the start of the last code point (at most 4 bytes back).
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 && (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) --start;
    auto d = decodeOne(text.substr(start));
    if (!d || start + d->length != text.size() || !isWhite(d->cp)) break;
    text.remove_suffix(d->length);
  }
  return text;
}

std::string toLower(std::string_view text) { return mapCase(text, lowerOf); }
std::string toUpper(std::string_view text) { return mapCase(text, upperOf); }

bool isValidUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    auto d = decodeOne(bytes);
    if (!d) return false;
    bytes.remove_prefix(d->length);
  }
  return true;
}

std::string toValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    if (auto d = decodeOne(bytes)) {
      out.append(bytes.substr(0, d->length));
      bytes.remove_prefix(d->length);
    } else {
      appendUtf8(out, 0xFFFD);
      bytes.remove_prefix(1);
    }
  }
  return out;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    auto nl = text.find('\n');
    auto line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return lines;
}

}  // namespace zorvik::signing
