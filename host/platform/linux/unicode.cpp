#include "platform/unicode.hpp"

#include <unicode/uchar.h>

namespace zorvik::platform {

bool isLetterOrNumber(char32_t c) {
  const auto cp = static_cast<UChar32>(c);
  if (u_hasBinaryProperty(cp, UCHAR_ALPHABETIC)) return true;
  switch (u_charType(cp)) {
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
      return true;
    default:
      return false;
  }
}

}  // namespace zorvik::platform
