# Writes the test page's font as a C++ byte array.
# cmake -DFONT=<file.ttf> -DOUTPUT=<file.cpp> -P test_page_font.cmake
file(READ "${FONT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Line breaks every 32 bytes keep the generated file readable by tools.
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from ${FONT}; do not edit.\n"
  "#include \"printing/test_page_font.hpp\"\n\n"
  "namespace zorvik::printing {\n\n"
  "alignas(4) const std::uint8_t kEmbeddedFont[] = {\n${bytes}\n};\n"
  "const std::size_t kEmbeddedFontSize = ${size};\n\n"
  "}  // namespace zorvik::printing\n")
