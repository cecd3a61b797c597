// Times decompressing every file of the compiled-in asset table, as the host
// does when the page requests them. Prints the median of several passes in ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "assets/asset_table.hpp"

int main() {
  const auto& table = zorvik::embeddedAssets();
  std::vector<double> runs;
  std::size_t plain = 0, packed = 0;
  for (int pass = 0; pass < 15; ++pass) {
    plain = packed = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (const auto& r : table.records()) {
      auto body = zorvik::brotliDecompress(table.compressed(r));
      if (!body) {
        std::fprintf(stderr, "%s: %s\n", r.path, body.error().c_str());
        return 1;
      }
      plain += body->size();
      packed += r.size;
    }
    runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(runs.begin(), runs.end());
  std::printf("assets %zu files, %zu -> %zu bytes, decompress median %.3f ms\n", table.records().size(), packed,
              plain, runs[runs.size() / 2]);
  return 0;
}
