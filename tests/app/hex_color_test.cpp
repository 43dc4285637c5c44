#include "app/hex_color.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(HexColor, ComponentsByLength) {
  struct Case {
    std::string text;
    HexColorComponents rgba;
  };
  const std::vector<Case> cases = {
      {"fe9423", {254, 148, 35, 255}},  {"2FCC72", {47, 204, 114, 255}},
      {"#2FCC72", {47, 204, 114, 255}}, {"2fcc72", {47, 204, 114, 255}},
      {"#fff", {255, 255, 255, 255}},   {"  #fff\n", {255, 255, 255, 255}},
      {"80FF0000", {255, 0, 0, 128}},   {"0x123456", {18, 52, 86, 0}},
      {"0X1234", {0, 18, 52, 255}},  // six characters of which four are digits
      {"12345z", {1, 35, 69, 255}},     {"a9z", {0, 0xA * 17, 9 * 17, 255}},
      {"f f", {0, 0, 255, 255}},  // the space inside stays and stops the scanner
      {"zzzzzzzz", {0, 0, 0, 0}},       {"12345", {0, 0, 0, 255}},
      {"ffff", {0, 0, 0, 255}},         {"", {0, 0, 0, 255}},
      {"###", {0, 0, 0, 255}},          {std::string(10000, 'f'), {0, 0, 0, 255}},
  };
  for (const auto& c : cases) EXPECT_EQ(hexColorComponents(c.text), c.rgba) << c.text;
}

// Characters are code points; letters, marks and numbers of any script stay, everything else is
// trimmed from the ends.
TEST(HexColor, UnicodeTextCountsCodePoints) {
  struct Case {
    const char* name;
    std::string text;
    HexColorComponents rgba;
  };
  const std::vector<Case> cases = {
      {"an em dash trimmed", "fff\xe2\x80\x94", {255, 255, 255, 255}},
      {"non-breaking spaces trimmed",
       "\xc2\xa0"
       "fff"
       "\xc2\xa0",
       {255, 255, 255, 255}},
      {"a NUL trimmed", std::string("\0fff", 4), {255, 255, 255, 255}},
      {"an accented letter is one character",
       "\xc3\xa9"
       "12",
       {0, 0, 0, 255}},
      {"Arabic-Indic digits stay", "\xd9\xa3\xd9\xa3\xd9\xa3", {0, 0, 0, 255}},
      {"six two-byte letters", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", {0, 0, 0, 255}},
      {"a combining mark stays", "ff\xcc\x81", {0, 255, 255, 255}},
      {"ill-formed bytes at the end trimmed", "fff\xff\xfe", {255, 255, 255, 255}},
      {"an ill-formed byte inside counts as one",
       "ab\xff"
       "c",
       {0, 0, 0, 255}},
      {"a lone lead byte before a digit",
       "f\xe2"
       "f",
       {0, 0, 255, 255}},
  };
  for (const auto& c : cases) EXPECT_EQ(hexColorComponents(c.text), c.rgba) << c.name;
}

TEST(HexColor, PlatformColourFromFractions) {
  using platform::UIColor;
  EXPECT_EQ(UIColorWithHexString("fe9423"), UIColor(254 / 255.0, 148 / 255.0, 35 / 255.0, 1.0));
  EXPECT_EQ(UIColorWithHexString("#fff"), UIColor::whiteColor());
  EXPECT_EQ(UIColorWithHexString("80FF0000"), UIColor(1.0, 0.0, 0.0, 128 / 255.0));
  EXPECT_EQ(UIColorWithHexString("12345"), UIColor::blackColor());
  EXPECT_EQ(UIColorWithHexString("0x000000"), UIColor::clearColor());
}

}  // namespace
