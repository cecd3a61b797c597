#include "bridge/args.hpp"

#include <gtest/gtest.h>

namespace zorvik::bridge {
namespace {

TEST(ArgReader, ReadsTypedValues) {
  Json args = {{"s", "x"}, {"i", 3}, {"f", 2.5}, {"whole", 4.0}, {"b", true}, {"bytes", {0, 37, 255}}};
  ArgReader r("cmd", args);
  EXPECT_EQ(*r.string("s"), "x");
  EXPECT_EQ(*r.integer("i"), 3);
  EXPECT_EQ(*r.integer("whole"), 4);
  EXPECT_DOUBLE_EQ(*r.number("f"), 2.5);
  EXPECT_DOUBLE_EQ(*r.number("i"), 3.0);
  EXPECT_TRUE(*r.boolean("b"));
  EXPECT_EQ(*r.bytes("bytes"), (Bytes{0, 37, 255}));
}

TEST(ArgReader, NullAndAbsentAreTheSameForOptionalArguments) {
  Json args = {{"copies", nullptr}};
  ArgReader r("print_bytes", args);
  EXPECT_FALSE(r.optInteger("copies")->has_value());
  EXPECT_FALSE(r.optInteger("absent")->has_value());
  EXPECT_FALSE(r.optString("printerName")->has_value());
}

TEST(ArgReader, RefusesWrongTypesAndMissingKeys) {
  Json args = {{"copies", "2"}, {"line", 5}, {"data", {1, 256}}, {"flt", 1.5}, {"neg", {-1}}};
  ArgReader r("print_bytes", args);
  auto copies = r.optInteger("copies");
  ASSERT_FALSE(copies);
  EXPECT_EQ(copies.error(), "invalid args `copies` for command `print_bytes`: invalid type: string, expected an integer");
  EXPECT_FALSE(r.integer("flt"));
  EXPECT_FALSE(r.string("line"));
  EXPECT_FALSE(r.bytes("data"));
  EXPECT_FALSE(r.bytes("neg"));
  auto missing = r.string("path");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "invalid args `path` for command `print_bytes`: command print_bytes missing required key path");
}

TEST(ArgReader, NonObjectArgumentsReadAsEmpty) {
  Json args = Json::array();
  ArgReader r("app_log_path", args);
  EXPECT_FALSE(r.string("x"));
  EXPECT_FALSE(r.optString("x")->has_value());
}

}  // namespace
}  // namespace zorvik::bridge
