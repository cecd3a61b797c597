#include "printing/label_format.hpp"

#include <gtest/gtest.h>

namespace zorvik::printing {
namespace {

Result<std::optional<LabelFormat>> read(const Json& args) {
  bridge::ArgReader reader("print_bytes", args);
  return readLabelFormat(reader);
}

TEST(LabelFormat, ReadsEveryKey) {
  auto f = read(Json::parse(R"({"format": {"widthMm": 58, "heightMm": 40.5, "rotation": 90.0,
      "orientation": "landscape", "fitMode": "fill", "offsetXMm": -1.5, "offsetYMm": 2, "extra": [1]}})"));
  ASSERT_TRUE(f) << f.error();
  ASSERT_TRUE(f->has_value());
  const LabelFormat& v = **f;
  EXPECT_EQ(v.widthMm, 58);
  EXPECT_EQ(v.heightMm, 40.5);
  EXPECT_EQ(v.rotation, 90);
  EXPECT_EQ(v.orientation, "landscape");
  EXPECT_EQ(v.fitMode, "fill");
  EXPECT_EQ(v.offsetXMm, -1.5);
  EXPECT_EQ(v.offsetYMm, 2);
}

TEST(LabelFormat, NullOrAbsentMeansNoFormatAndOptionalKeysMayBeNull) {
  for (const char* args : {R"({})", R"({"format": null})"}) {
    auto f = read(Json::parse(args));
    ASSERT_TRUE(f) << f.error();
    EXPECT_FALSE(f->has_value()) << args;
  }
  auto f = read(Json::parse(R"({"format": {"widthMm": 58, "heightMm": 40, "rotation": null, "orientation": null,
      "fitMode": null, "offsetXMm": null, "offsetYMm": null}})"));
  ASSERT_TRUE(f) << f.error();
  EXPECT_FALSE((*f)->rotation);
  EXPECT_FALSE((*f)->fitMode);
  EXPECT_FALSE((*f)->offsetXMm);
}

TEST(LabelFormat, MisshapenFormatsAreArgumentErrors) {
  struct Case {
    const char* format;
    const char* why;
  };
  for (Case c : {
           Case{R"("58x40")", "invalid type: string, expected a label format object"},
           Case{R"({"heightMm": 40})", "missing field `widthMm`"},
           Case{R"({"widthMm": 58})", "missing field `heightMm`"},
           Case{R"({"WidthMm": 58, "heightMm": 40})", "missing field `widthMm`"},
           Case{R"({"widthMm": "58", "heightMm": 40})", "invalid type: string, expected a number at `widthMm`"},
           Case{R"({"widthMm": 58, "heightMm": 40, "rotation": 90.5})",
                "invalid type: number, expected an integer at `rotation`"},
           Case{R"({"widthMm": 58, "heightMm": 40, "rotation": "90"})",
                "invalid type: string, expected an integer at `rotation`"},
           Case{R"({"widthMm": 58, "heightMm": 40, "orientation": 1})",
                "invalid type: integer, expected a string at `orientation`"},
           Case{R"({"widthMm": 58, "heightMm": 40, "fitMode": true})",
                "invalid type: boolean, expected a string at `fitMode`"},
           Case{R"({"widthMm": 58, "heightMm": 40, "offsetYMm": [1]})",
                "invalid type: array, expected a number at `offsetYMm`"},
       }) {
    auto f = read(Json::parse(std::string(R"({"format": )") + c.format + "}"));
    ASSERT_FALSE(f) << c.format;
    EXPECT_EQ(f.error(), std::string("invalid args `format` for command `print_bytes`: ") + c.why);
  }
}

TEST(LabelFormat, EffectiveRotation) {
  struct Case {
    std::optional<std::int64_t> rotation;
    std::optional<std::string> orientation;
    int expected;
  };
  for (const Case& c : {
           Case{450, std::nullopt, 90},
           Case{-90, std::nullopt, 270},
           Case{45, std::nullopt, 0},
           Case{180, "landscape", 180},
           Case{0, "landscape", 0},  // a given rotation wins over the orientation
           Case{-720, std::nullopt, 0},
           Case{std::numeric_limits<std::int64_t>::min(), std::nullopt, 0},
           Case{std::nullopt, "landscape", 90},
           Case{std::nullopt, "Landscape", 0},
           Case{std::nullopt, "portrait", 0},
           Case{std::nullopt, std::nullopt, 0},
       }) {
    LabelFormat f;
    f.rotation = c.rotation;
    f.orientation = c.orientation;
    EXPECT_EQ(effectiveRotation(f), c.expected) << c.rotation.value_or(-1) << " " << c.orientation.value_or("-");
  }
}

}  // namespace
}  // namespace zorvik::printing
