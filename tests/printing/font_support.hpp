// Tiny TrueType files made table by table, to show what the reader does with
// each part of a font (and with a damaged one).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/bytes.hpp"

namespace zorvik::testing {

class FontBytes {
 public:
  FontBytes& u16(unsigned v) {
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
    out_.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  FontBytes& i16(int v) { return u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
  FontBytes& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
  FontBytes& zeros(std::size_t n) {
    out_.insert(out_.end(), n, 0);
    return *this;
  }
  FontBytes& bytes(const Bytes& b) {
    out_.insert(out_.end(), b.begin(), b.end());
    return *this;
  }
  Bytes done() const { return out_; }
  std::size_t size() const { return out_.size(); }

 private:
  Bytes out_;
};

inline Bytes headTable(unsigned unitsPerEm, int xMin, int yMin, int xMax, int yMax) {
  return FontBytes().zeros(18).u16(unitsPerEm).zeros(16).i16(xMin).i16(yMin).i16(xMax).i16(yMax).zeros(10).done();
}

inline Bytes hheaTable(int ascender, int descender, unsigned metrics) {
  return FontBytes().u32(0x10000).i16(ascender).i16(descender).zeros(26).u16(metrics).done();
}

inline Bytes hmtxTable(const std::vector<unsigned>& advances) {
  FontBytes b;
  for (unsigned a : advances) b.u16(a).i16(0);
  return b.done();
}

inline Bytes os2Table(unsigned version, int capHeight) {
  return FontBytes().u16(version).zeros(86).i16(capHeight).zeros(6).done();
}

// One segment of a format 4 map: characters first..last to glyphs, by delta
// or through explicit glyph numbers.
struct Segment {
  unsigned first, last;
  int delta = 0;
  std::vector<unsigned> glyphs = {};  // non-empty: the idRangeOffset form
};

inline Bytes format4(std::vector<Segment> segments) {
  segments.push_back({0xFFFF, 0xFFFF, 1});
  std::size_t n = segments.size();
  FontBytes b;
  std::size_t glyphArrayEntries = 0;
  for (auto& s : segments) glyphArrayEntries += s.glyphs.size();
  b.u16(4).u16(static_cast<unsigned>(16 + n * 8 + glyphArrayEntries * 2)).u16(0).u16(static_cast<unsigned>(n * 2));
  b.u16(0).u16(0).u16(0);
  for (auto& s : segments) b.u16(s.last);
  b.u16(0);
  for (auto& s : segments) b.u16(s.first);
  for (auto& s : segments) b.i16(s.delta);
  std::size_t before = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Segment& s = segments[i];
    // Bytes from this idRangeOffset entry to the segment's glyph numbers.
    b.u16(s.glyphs.empty() ? 0 : static_cast<unsigned>((n - i) * 2 + before * 2));
    before += s.glyphs.size();
  }
  for (auto& s : segments)
    for (unsigned g : s.glyphs) b.u16(g);
  return b.done();
}

// A cmap with the given (platform, encoding, subtable) records.
inline Bytes cmapTable(const std::vector<std::tuple<unsigned, unsigned, Bytes>>& subtables) {
  FontBytes b;
  b.u16(0).u16(static_cast<unsigned>(subtables.size()));
  std::uint32_t offset = 4 + 8 * static_cast<std::uint32_t>(subtables.size());
  for (auto& [platform, encoding, data] : subtables) {
    b.u16(platform).u16(encoding).u32(offset);
    offset += static_cast<std::uint32_t>(data.size());
  }
  for (auto& entry : subtables) b.bytes(std::get<2>(entry));
  return b.done();
}

inline Bytes fontFile(const std::vector<std::pair<std::string, Bytes>>& tables) {
  FontBytes b;
  b.u32(0x10000).u16(static_cast<unsigned>(tables.size())).u16(0).u16(0).u16(0);
  std::uint32_t offset = 12 + 16 * static_cast<std::uint32_t>(tables.size());
  for (auto& [tag, data] : tables) {
    b.u16(static_cast<unsigned>(tag[0]) << 8 | static_cast<unsigned char>(tag[1]))
        .u16(static_cast<unsigned>(tag[2]) << 8 | static_cast<unsigned char>(tag[3]));
    b.u32(0).u32(offset).u32(static_cast<std::uint32_t>(data.size()));
    offset += static_cast<std::uint32_t>(data.size());
  }
  for (auto& entry : tables) b.bytes(entry.second);
  return b.done();
}

// A font that knows 'A'..'C' (glyphs 1..3), the digits (glyphs 10..19) and
// the space (glyph 4); everything else is missing.
inline std::vector<std::pair<std::string, Bytes>> smallFontTables() {
  return {
      {"head", headTable(2048, -100, -400, 2000, 1900)},
      {"hhea", hheaTable(1800, -500, 5)},
      {"hmtx", hmtxTable({500, 1000, 1100, 1200, 300})},
      {"OS/2", os2Table(2, 1400)},
      {"cmap", cmapTable({{3, 1, format4({{'A', 'C', 1 - 'A'}, {' ', ' ', 0, {4}}, {'0', '9', 10 - '0'}})}})},
  };
}

}  // namespace zorvik::testing
