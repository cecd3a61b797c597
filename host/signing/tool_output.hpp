// Turning the bytes a signing tool printed into text. The tools print UTF-8,
// or the console (CP866) or Windows (CP1251) code page of a Russian system.
#pragma once

#include <string>
#include <string_view>

namespace zorvik::signing {

// UTF-8 as it is; otherwise the reduced CP866 reading, unless only the
// CP1251 reading holds one of the listing's words.
[[nodiscard]] std::string decodeToolOutput(std::string_view bytes);

// The reduced code page tables: Cyrillic letters, Ё/ё and №; every other
// byte above 0x7F becomes a space.
[[nodiscard]] std::string decodeCp866(std::string_view bytes);
[[nodiscard]] std::string decodeCp1251(std::string_view bytes);

// Whether the text holds one of the words every Russian listing has.
[[nodiscard]] bool hasListingWord(std::string_view text);

}  // namespace zorvik::signing
