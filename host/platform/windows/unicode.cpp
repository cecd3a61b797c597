#include "platform/unicode.hpp"

#include "platform/windows/win32.hpp"

namespace zorvik::platform {

bool isLetterOrNumber(char32_t c) {
  wchar_t units[2];
  int count = 1;
  if (c >= 0x10000) {
    if (c > 0x10FFFF) return false;
    units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    count = 2;
  } else {
    units[0] = static_cast<wchar_t>(c);
  }
  WORD types[2] = {};
  // CT_CTYPE3's C3_ALPHA covers every letter (ideographs and syllables too).
  if (!::GetStringTypeW(CT_CTYPE3, units, count, types)) return false;
  if (types[0] & C3_ALPHA) return true;
  if (!::GetStringTypeW(CT_CTYPE1, units, count, types)) return false;
  return (types[0] & (C1_ALPHA | C1_DIGIT)) != 0;
}

}  // namespace zorvik::platform
