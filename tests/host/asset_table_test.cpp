#include "assets/asset_table.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace zorvik {
const AssetTable& fixtureAssets();  // generated from tests/fixtures/web
}

namespace zorvik {
namespace {

Bytes readFixture(const std::string& rel) {
  std::ifstream in(std::string(ZORVIK_TEST_FIXTURES) + "/web" + rel, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AssetTable, RootServesIndexHtml) {
  for (const AssetTable* table : {&fixtureAssets(), &embeddedAssets()}) {
    auto root = serveAsset(*table, "/");
    auto index = serveAsset(*table, "/index.html");
    ASSERT_EQ(root.status, 200);
    EXPECT_EQ(root.body, index.body);
    EXPECT_EQ(root.contentType, "text/html; charset=utf-8");
  }
}

TEST(AssetTable, DecompressesToTheOriginalBytes) {
  for (const auto& r : fixtureAssets().records()) {
    auto served = serveAsset(fixtureAssets(), r.path);
    ASSERT_EQ(served.status, 200) << r.path;
    EXPECT_EQ(served.body, readFixture(r.path)) << r.path;
  }
}

TEST(AssetTable, ContentTypeByExtension) {
  struct Case {
    const char* path;
    const char* type;
  };
  for (auto c : {Case{"/assets/app.js", "text/javascript; charset=utf-8"},
                 Case{"/assets/app.css", "text/css; charset=utf-8"}, Case{"/assets/sounds/beep.mp3", "audio/mpeg"},
                 Case{"/assets/icon.png", "image/png"}, Case{"/assets/mark.svg", "image/svg+xml"},
                 Case{"/assets/decoder.wasm", "application/wasm"}, Case{"/assets/data.json", "application/json"},
                 Case{"/index.html", "text/html; charset=utf-8"}}) {
    auto served = serveAsset(fixtureAssets(), c.path);
    EXPECT_EQ(served.status, 200) << c.path;
    EXPECT_EQ(served.contentType, c.type) << c.path;
  }
}

TEST(AssetTable, MissingPathIsAPlain404) {
  for (const char* path : {"/nope.js", "/assets", "/assets/", "index.html", "/INDEX.HTML"}) {
    auto served = serveAsset(fixtureAssets(), path);
    EXPECT_EQ(served.status, 404) << path;
    EXPECT_EQ(served.contentType, "text/plain; charset=utf-8");
  }
}

TEST(AssetTable, QueryAndFragmentAreIgnored) {
  EXPECT_EQ(serveAsset(fixtureAssets(), "/assets/app.js?v=3").body, readFixture("/assets/app.js"));
  EXPECT_EQ(serveAsset(fixtureAssets(), "/?x#/menu").body, readFixture("/index.html"));
}

TEST(AssetTable, CorruptDataIsAnErrorNotACrash) {
  Bytes junk = {0x1b, 0xff, 0xff, 0xff, 0x00, 0x12};
  EXPECT_FALSE(brotliDecompress(junk));
  EXPECT_FALSE(brotliDecompress(Bytes{}));
}

TEST(AssetTable, EmbeddedUiHasItsPageAndScripts) {
  const auto& table = embeddedAssets();
  ASSERT_TRUE(table.find("/index.html"));
  bool script = false;
  for (const auto& r : table.records()) script |= std::string_view(r.path).ends_with(".js");
  EXPECT_TRUE(script);
}

}  // namespace
}  // namespace zorvik
