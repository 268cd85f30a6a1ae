#include "text/extract.h"

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace text {
namespace {

TEST(MiddleTextTest, Cases) {
  const Text quoteMark = Utf8ToGbk("#引号");
  struct Case {
    const char* name;
    Text text, left, right;
    int start;
    bool caseSensitive;
    Text expected;
  };
  const Case cases[] = {
      {"TextBetweenMarkers", "x<b>mid</b>y", "<b>", "</b>", 0, false, "mid"},
      {"LowerCaseMarkerFindsUpperCaseAnchor", "<A HREF=\"x\">", "<a href=\"", "\"", 0, false, "x"},
      {"CaseSensitiveMissesOtherCase", "<A HREF=\"x\">", "<a href=\"", "\"", 0, true, ""},
      {"LeftMarkerWithoutRightMarker", "a=1;", "a=", "\r\n", 0, false, ""},
      {"MissingLeftMarker", "b=1\r\n", "a=", "\r\n", 0, false, ""},
      {"EmptyBetweenAdjacentMarkers", "[]", "[", "]", 0, false, ""},
      {"QuoteMarkStandsForDoubleQuote", "href=\"u\">", "href=" + quoteMark, quoteMark + ">", 0,
       false, "u"},
      {"FirstLeftMarkerCounts", "[a][b]", "[", "]", 0, false, "a"},
      // The start applies to the search in the rest as well: here the rest is
      // "ab]cd]" and its search starts at its 4th byte, past the first "]".
      {"StartAppliesToBothSearches", "[a]x[ab]cd]", "[", "]", 4, false, "ab]cd"},
      {"StartPastRestFindsNothing", "x[a]", "[", "]", 3, false, ""},
      {"TrailByteIsNoMarker", "\xB0[a]", "[", "]", 0, false, ""},
      {"EmptyTextYieldsNothing", "", "a", "b", 0, false, ""},
      {"LeftMarkerAtEnd", "abc[", "[", "]", 0, false, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MiddleText(c.text, c.left, c.right, c.start, c.caseSensitive), c.expected) << c.name;
}

TEST(TextBeforeTest, Cases) {
  EXPECT_EQ(TextBefore("a=1; path=/", ";"), "a=1");
  EXPECT_EQ(TextBefore("a=1", ";"), "") << "no delimiter: empty, not the whole text";
  EXPECT_EQ(TextBefore(";x", ";"), "");
  EXPECT_EQ(TextBefore("a;b;c", ";", 3), "a;b") << "search starts at the start position";
  EXPECT_EQ(TextBefore("a;b", ";", -4), "a") << "start below 1 counts as 1";
  EXPECT_EQ(TextBefore("aXbx", "x", 0, true), "a");
  EXPECT_EQ(TextBefore("aXbx", "x", 0, false), "aXb");
  EXPECT_EQ(TextBefore("\xB0;;", ";"), "\xB0;") << "a trail byte is no delimiter";
}

}  // namespace
}  // namespace text
