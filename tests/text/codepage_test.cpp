#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace text {
namespace {

// Expected bytes below come from ICU's uconv with the same Windows tables
// (uconv -f utf-8 -t windows-936-2000), not from the code under test.

TEST(Utf8ToGbkTest, Cases) {
  struct Case {
    const char* name;
    Text utf8, gbk;
  };
  const Case cases[] = {
      {"AsciiUnchanged", "http://a.b/c?d=1&e", "http://a.b/c?d=1&e"},
      {"EmptyStaysEmpty", "", ""},
      {"ChineseBecomesTwoBytesEach", "联通", "\xC1\xAA\xCD\xA8"},
      {"FullWidthSpace", "\u3000", "\xA1\xA1"},
      {"EuroSignHasItsWindowsByte", "\u20AC", "\x80"},
      {"AccentedLetterInGbk", "\u00E9", "\xA8\xA6"},
      {"CharacterGbkLacksBecomesQuestionMark", "a\u0E01b", "a?b"},
      {"EmojiGivesOneMarkPerUtf16Unit", "\U0001F600", "??"},
      {"InputEndsAtFirstNul", std::string("ab\0cd", 5), "ab"},
      // Malformed UTF-8: each bad sequence becomes one "?".
      {"LoneContinuationByte",
       "a\x80"
       "b",
       "a?b"},
      {"TruncatedSequenceAtEnd", "a\xE8\x81", "a?"},
      {"OverlongSlash", "\xC0\xAF", "??"},
      {"EncodedSurrogate", "\xED\xA0\x80", "???"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.name;
}

TEST(Utf8ToGbkTest, LongInputConvertsWhole) {
  std::string utf8;
  for (int i = 0; i < 100000; ++i) utf8 += "a联";
  const Text gbk = Utf8ToGbk(utf8);
  ASSERT_EQ(gbk.size(), 300000u);
  EXPECT_EQ(gbk.substr(299997), "a\xC1\xAA");
}

TEST(Big5ToSimplifiedGbkTest, Cases) {
  struct Case {
    const char* name;
    Text big5, gbk;
  };
  const Case cases[] = {
      {"AsciiUnchanged", "GET /x", "GET /x"},
      {"EmptyStaysEmpty", "", ""},
      // 聯通 in Big5 becomes 联通 in GBK.
      {"TraditionalBecomesSimplified", "\xC1\x70\xB3\x71", "\xC1\xAA\xCD\xA8"},
      // 網路 -> 网路: each character on its own, no phrase rules.
      {"CharacterByCharacter", "\xBA\xF4\xB8\xF4", "\xCD\xF8\xC2\xB7"},
      // 中文 is the same in both scripts.
      {"SharedCharactersStay", "\xA4\xA4\xA4\xE5", "\xD6\xD0\xCE\xC4"},
      // ‧ (U+2027) is in Big5 but not in GBK: the text ends before it.
      {"TextEndsBeforeCharacterGbkLacks",
       "a\xA1\x45"
       "b",
       "a"},
      {"InputEndsAtFirstNul", std::string("ab\0cd", 5), "ab"},
      // Bad: 0x30 cannot follow the lead byte 0xA1.
      {"InvalidBig5EndsTheText",
       "a\xA1\x30"
       "b",
       "a"},
      // Bad: a lead byte without its partner at the end.
      {"LeadByteAtEndEndsTheText", "ab\xA1", "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(Big5ToSimplifiedGbk(c.big5), c.gbk) << c.name;
}

TEST(WindowBoundaryTest, GbkToUtf16AndBack) {
  EXPECT_EQ(GbkToUtf16("a\xC1\xAA\xCD\xA8"), u"a联通");
  EXPECT_EQ(Utf16ToGbk(u"a联通"), "a\xC1\xAA\xCD\xA8");
  EXPECT_EQ(GbkToUtf16(""), u"");
  EXPECT_EQ(Utf16ToGbk(u"\U0001F600x"), "??x") << "one mark per UTF-16 unit";
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"a\xD800"
                                      u"b")),
            "a?b")
      << "lone surrogate";
  EXPECT_EQ(Utf16ToGbk(std::u16string(u"ab\0c", 4)), "ab") << "a NUL ends the text";
  EXPECT_EQ(GbkToUtf16("a\xC1"), u"a\uFFFD") << "lead byte at the end";
}

}  // namespace
}  // namespace text
