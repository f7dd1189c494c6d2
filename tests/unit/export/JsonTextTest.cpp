// The JSON text routines both writers share. Names come from the game and may
// hold anything; whatever they hold, what comes out must be the inside of a
// valid JSON string, and valid text must come out unchanged.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "export/JsonText.h"

namespace {

using namespace std::string_literals;

constexpr const char* kReplacement = "\xEF\xBF\xBD";

TEST(JsonEscapeTest, EscapesFiveCharactersAndDropsOtherControlBytes) {
  EXPECT_EQ(JsonEscape("a\tb\nc\rd\"e\\f"), "a\\tb\\nc\\rd\\\"e\\\\f");
  // Backspace and form feed have JSON escapes, but are dropped like the rest.
  EXPECT_EQ(JsonEscape("x\x01\x08\x0b\x0c\x1f"
                       "y"),
            "xy");
  EXPECT_EQ(JsonEscape("nul\0byte"s), "nulbyte");
  // No other escaping: the solidus, DEL and printable ASCII pass as they are.
  EXPECT_EQ(JsonEscape("a/b\x7f~ {}[]:,'"), "a/b\x7f~ {}[]:,'");
  EXPECT_EQ(JsonEscape(""), "");
}

TEST(JsonEscapeTest, ValidUtf8PassesByteForByte) {
  const std::string valid[] = {
      "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m",                 // Zoë Ångström
      "\xC2\x80\xDF\xBF",                                  // U+0080, U+07FF
      "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",  // U+0800, U+D7FF, U+E000, U+FFFF
      "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",                  // U+10000, U+10FFFF
      "\xF0\x9F\x9A\x80 \xE6\x97\xA5\xE6\x9C\xAC",         // rocket, CJK
      kReplacement,                                        // U+FFFD itself
  };
  for (const std::string& text : valid) EXPECT_EQ(JsonEscape(text), text);
}

TEST(JsonEscapeTest, EachMaximalIllFormedSubsequenceBecomesOneReplacement) {
  const std::string R = kReplacement;
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"\xE2\x82"
       "A",
       R + "A"},                            // truncated three-byte form
      {"ab\xE2\x82", "ab" + R},             // ...at the end of the text
      {"\xF0\x9F\x98", R},                  // truncated four-byte form
      {"\x80", R},                          // stray continuation byte
      {"\x80\xBF", R + R},                  // one per stray byte
      {"\xC0\xAF", R + R},                  // overlong '/': C0 never starts a form
      {"\xC1\xBF", R + R},                  // overlong, C1
      {"\xE0\x80\xAF", R + R + R},          // overlong three-byte form
      {"\xF0\x80\x80\xAF", R + R + R + R},  // overlong four-byte form
      {"\xED\xA0\x80", R + R + R},          // surrogate U+D800
      {"\xF4\x90\x80\x80", R + R + R + R},  // above U+10FFFF
      {"\xF5\x80", R + R},                  // F5 and above never start a form
      {"\xFE\xFF", R + R},                  // neither do FE and FF
      {"\xC3"
       "\x01"
       "\xA9",
       R + R},                                       // a dropped control byte breaks the form
      {"\xC3\"", R + "\\\""},                        // the quote after it is still escaped
      {"\xE2\x82\xAC\xE2\x82", "\xE2\x82\xAC" + R},  // euro sign, then a cut one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonEscape(c.in), c.out) << testing::PrintToString(c.in);
  }
}

TEST(OptionalIntToJsonTest, DecimalTextOrNull) {
  EXPECT_EQ(OptionalIntToJson(-12), "-12");
  EXPECT_EQ(OptionalIntToJson(0), "0");
  EXPECT_EQ(OptionalIntToJson(1187), "1187");
  EXPECT_EQ(OptionalIntToJson(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(OptionalIntToJson(std::numeric_limits<std::int32_t>::max()), "2147483647");
  EXPECT_EQ(OptionalIntToJson(std::nullopt), "null");
}

}  // namespace
