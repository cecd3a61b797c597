// Unicode character classes from the system's own tables.
#pragma once

namespace zorvik::platform {

// True for a letter (any alphabetic character) or a number (decimal digit,
// letter number, other number). Any thread.
[[nodiscard]] bool isLetterOrNumber(char32_t c);

}  // namespace zorvik::platform
