#include "text/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace text {
namespace {

// Straightforward models of the character stepping, to check the fast paths
// against: walk the text one character at a time and compare in place.
unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

bool matchesAt(const Text& t, size_t i, const Text& sub, bool ignoreCase) {
  if (t.size() - i < sub.size()) return false;
  for (size_t k = 0; k < sub.size(); ++k) {
    unsigned char a = t[i + k], b = sub[k];
    if (ignoreCase) a = fold(a), b = fold(b);
    if (a != b) return false;
  }
  return true;
}

int modelFind(const Text& t, const Text& sub, int start, bool ignoreCase) {
  size_t i = start < 1 ? 0 : start - 1;
  if (i >= t.size()) return -1;
  if (sub.empty()) return 1;
  while (i < t.size()) {
    if (matchesAt(t, i, sub, ignoreCase)) return static_cast<int>(i + 1);
    i += static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1;
  }
  return -1;
}

Text modelReplaceAll(const Text& t, const Text& what, const Text& with, int start, int count,
                     bool caseSensitive) {
  size_t i = start < 1 ? 0 : start - 1;
  if (t.empty() || what.empty() || i >= t.size() || count < 1) return t;
  Text out = t.substr(0, i);
  int done = 0;
  while (i < t.size()) {
    if (done < count && matchesAt(t, i, what, !caseSensitive)) {
      out += with;
      i += what.size();
      if (++done == count) return out + t.substr(i);
      continue;
    }
    const bool lead = static_cast<unsigned char>(t[i]) >= 0x80;
    if (lead && i + 1 == t.size()) break;  // a lead byte without partner is dropped
    out.append(t, i, lead ? 2 : 1);
    i += lead ? 2 : 1;
  }
  return out;
}

// Random texts over a small alphabet, so that matches, trail bytes that look
// like ASCII letters and runs of high bytes are all frequent. "@[`{" sit next
// to the letters and the high bytes 0xC1, 0xE1, 0xDA carry letters in their
// low seven bits: none of them may be folded.
Text randomText(std::mt19937& rng, size_t maxLen) {
  static const std::string kAlphabet = "aAbBzZ @[`{\xB0\xA1\xC1\xE1\xDA";
  std::uniform_int_distribution<size_t> len(0, maxLen), pick(0, kAlphabet.size() - 1);
  Text t(len(rng), ' ');
  for (char& c : t) c = kAlphabet[pick(rng)];
  return t;
}

struct FindCase {
  const char* name;
  Text text, sub;
  int start;
  bool ignoreCase;
  int expected;
};

class FindTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTest, FindsAtCharacterBoundaries) {
  const FindCase& c = GetParam();
  EXPECT_EQ(find(c.text, c.sub, c.start, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Text, FindTest,
    testing::Values(
        FindCase{"IgnoringCaseFindsOtherCase", "aBc", "b", 1, true, 2},
        FindCase{"CaseSensitiveMissesOtherCase", "aBc", "b", 1, false, -1},
        FindCase{"TrailByteThatIsALetterIsNoMatch", "\xB0\x41", "A", 1, false, -1},
        FindCase{"TrailByteNoMatchIgnoringCaseEither", "\xB0\x41", "a", 1, true, -1},
        FindCase{"LetterAfterDoubleByteCharacterMatches", "\xB0\x41\x41", "A", 1, false, 3},
        FindCase{"RunOfHighBytesPairsFromItsStart", "\xB0\xB1\xB2\xB3", "\xB1\xB2", 1, false, -1},
        FindCase{"SecondCharacterOfHighRunMatches", "\xB0\xB1\xB2\xB3", "\xB2\xB3", 1, false, 3},
        FindCase{"TrailBytesFoldedIgnoringCase", "x\xB0\x61", "\xB0\x41", 1, true, 2},
        FindCase{"HighBytesNeverFolded", "\xC1\xC1", "\xE1\xE1", 1, true, -1},
        FindCase{"EmptySubInNonEmptyText", "abc", "", 1, false, 1},
        FindCase{"EmptySubYieldsOneFromLaterStart", "abc", "", 3, false, 1},
        FindCase{"EmptySubInEmptyText", "", "", 1, false, -1},
        FindCase{"EmptySubPastTheEnd", "abc", "", 4, false, -1},
        FindCase{"StartBelowOneCountsAsOne", "abc", "a", 0, false, 1},
        FindCase{"NegativeStartCountsAsOne", "abc", "a", -7, false, 1},
        FindCase{"StartPastTheEndFindsNothing", "abc", "c", 4, false, -1},
        FindCase{"StartSkipsEarlierMatch", "abab", "ab", 2, false, 3},
        FindCase{"StartOnTrailByteStepsFromThere", "\xB0\x41\x42", "A", 2, false, 2},
        FindCase{"LoneLeadByteAtEndIsTested", "ab\xB0", "\xB0", 1, false, 3},
        FindCase{"NothingBeyondLoneLeadByte", "ab\xB0", "\xB0\x41", 1, false, -1},
        FindCase{"SubLongerThanText", "ab", "abc", 1, false, -1},
        FindCase{"EmptyTextFindsNothing", "", "a", 1, false, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindTest, AgreesWithStdFindOnAscii) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> letter('a', 'c');
  for (int round = 0; round < 2000; ++round) {
    Text t(rng() % 40, 'a'), sub(rng() % 4, 'a');
    for (char& c : t) c = static_cast<char>(letter(rng));
    for (char& c : sub) c = static_cast<char>(letter(rng));
    const int start = static_cast<int>(rng() % 45);
    const size_t from = start < 1 ? 0 : start - 1;
    size_t ref = from < t.size() ? t.find(sub, from) : std::string::npos;
    if (sub.empty() && ref != std::string::npos) ref = 0;  // the empty sub yields 1
    EXPECT_EQ(find(t, sub, start), ref == std::string::npos ? -1 : static_cast<int>(ref) + 1)
        << t << " / " << sub << " from " << start;
  }
}

TEST(FindTest, AgreesWithCharacterSteppingOnMixedText) {
  std::mt19937 rng(2);
  for (int round = 0; round < 5000; ++round) {
    // Some texts are long enough for the search to test 16 positions at once.
    const Text t = randomText(rng, round % 4 == 0 ? 300 : 40), sub = randomText(rng, 3);
    const int start = static_cast<int>(rng() % 8);
    const bool ignoreCase = rng() % 2;
    EXPECT_EQ(find(t, sub, start, ignoreCase), modelFind(t, sub, start, ignoreCase))
        << testing::PrintToString(t) << " / " << testing::PrintToString(sub);
  }
}

TEST(FindTest, LongTextsAcrossFoldingWindows) {
  // Matches that straddle the internal 64 KiB windows of the case-folding
  // search, and a text made only of trail bytes that look like the sub.
  Text t(200000, 'x');
  const Text sub = "NeedleInHaystack";
  for (size_t at : {size_t{65536 - 5}, size_t{131072 - 1}, t.size() - sub.size()}) {
    Text u = t;
    u.replace(at, sub.size(), sub);
    EXPECT_EQ(find(u, "needleinhaystack", 1, true), static_cast<int>(at) + 1);
    EXPECT_EQ(find(u, sub), static_cast<int>(at) + 1);
  }
  // Near-misses at every position: first and last byte agree, the middle not.
  Text nearMisses(300000, 'a');
  const Text wide = "a" + Text(50, 'x') + "a";
  nearMisses.replace(250001, wide.size(), "A" + Text(50, 'X') + "A");
  EXPECT_EQ(find(nearMisses, wide, 1, true), 250002);
  EXPECT_EQ(find(nearMisses, wide, 1, false), -1);
  Text trails;
  for (int i = 0; i < 512 * 1024; ++i)
    trails +=
        "\xB0"
        "a";
  EXPECT_EQ(find(trails, "a"), -1);
  EXPECT_EQ(find(trails, "A", 1, true), -1);
  EXPECT_EQ(find(trails + "a", "a"), static_cast<int>(trails.size()) + 1);
}

TEST(ReplaceAllTest, Cases) {
  struct Case {
    const char* name;
    Text text, what, with;
    int start, count;
    bool caseSensitive;
    Text expected;
  };
  const Case cases[] = {
      {"IgnoringCaseRemovesBoth", "aXbxc", "x", "", 1, kUnlimited, false, "abc"},
      {"CaseSensitiveKeepsCapital", "aXbxc", "x", "", 1, kUnlimited, true, "aXbc"},
      {"TrailByteLetterNotReplaced",
       "\xB0x"
       "x",
       "x", "y", 1, kUnlimited, true, "\xB0xy"},
      {"NonOverlappingLeftToRight", "aaa", "aa", "b", 1, kUnlimited, true, "ba"},
      {"ReplacementNotRescanned", "a.b", ".", "..", 1, kUnlimited, true, "a..b"},
      {"CountLimitsReplacements", "aaaa", "a", "b", 1, 2, true, "bbaa"},
      {"StartSkipsEarlierOccurrences", "aaaa", "a", "b", 3, kUnlimited, true, "aabb"},
      {"StartBelowOneCountsAsOne", "aa", "a", "b", -3, kUnlimited, true, "bb"},
      {"CountBelowOneChangesNothing", "aa\xB0", "a", "b", 1, 0, true, "aa\xB0"},
      {"EmptyWhatChangesNothing", "ab\xB0", "", "x", 1, kUnlimited, true, "ab\xB0"},
      {"EmptyTextStaysEmpty", "", "a", "x", 1, kUnlimited, true, ""},
      {"LoneLeadByteDroppedWhenScanReachesIt", "ab\xB0", "x", "y", 1, kUnlimited, true, "ab"},
      {"LoneLeadByteKeptWhenCountStopsScan", "xb\xB0", "x", "y", 1, 1, true, "yb\xB0"},
      {"LoneLeadByteItselfCanBeReplaced", "ab\xB0", "\xB0", "c", 1, kUnlimited, true, "abc"},
      {"DoubleByteCharacterReplaced", "\xC1\xAA!\xC1\xAA", "\xC1\xAA", "-", 1, kUnlimited, true,
       "-!-"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(replaceAll(c.text, c.what, c.with, c.start, c.count, c.caseSensitive), c.expected)
        << c.name;
}

TEST(ReplaceAllTest, AgreesWithCharacterSteppingOnMixedText) {
  std::mt19937 rng(3);
  for (int round = 0; round < 5000; ++round) {
    const Text t = randomText(rng, round % 4 == 0 ? 300 : 30), what = randomText(rng, 2), with = randomText(rng, 2);
    const int start = static_cast<int>(rng() % 6);
    const int count = rng() % 4 == 0 ? static_cast<int>(rng() % 3) : kUnlimited;
    const bool caseSensitive = rng() % 2;
    EXPECT_EQ(replaceAll(t, what, with, start, count, caseSensitive),
              modelReplaceAll(t, what, with, start, count, caseSensitive))
        << testing::PrintToString(t) << " / " << testing::PrintToString(what);
  }
}

TEST(SpacesTest, TrimAndRemoveSpaces) {
  struct Case {
    const char* name;
    Text text, trimmed, withoutSpaces;
  };
  const Case cases[] = {
      {"OnlySpacesAndFullWidthSpaces", " \xA1\xA1 \xA1\xA1", "", ""},
      {"LeadingTabSurvives", "\ta b ", "\ta b", "\tab"},
      {"LineEndsAreNotSpaces", "\r\n x\r\n", "\r\n x\r\n", "\r\nx\r\n"},
      {"FullWidthSpacesAroundAndInside",
       "\xA1\xA1"
       "a\xA1\xA1"
       "b\xA1\xA1",
       "a\xA1\xA1"
       "b",
       "ab"},
      {"SpaceAsTrailByteIsPartOfCharacter", "\xB0 a ", "\xB0 a", "\xB0 a"},
      {"A1PairOffBoundaryIsNoSpace", "\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
      {"LoneLeadByteAtEndDropped", "ab \xB0", "ab", "ab"},
      {"LoneA1AtEndDropped", "a \xA1", "a", "a"},
      {"EmptyText", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trim(c.text), c.trimmed) << c.name;
    EXPECT_EQ(removeSpaces(c.text), c.withoutSpaces) << c.name;
  }
}

TEST(SpacesTest, RemoveSpacesAgreesWithCharacterStepping) {
  std::mt19937 rng(4);
  for (int round = 0; round < 3000; ++round) {
    const Text t = randomText(rng, 40);
    Text expected;
    for (size_t i = 0; i < t.size();) {
      const bool lead = static_cast<unsigned char>(t[i]) >= 0x80;
      if (lead && i + 1 == t.size()) break;
      const Text ch = t.substr(i, lead ? 2 : 1);
      if (ch != " " && ch != "\xA1\xA1") expected += ch;
      i += ch.size();
    }
    EXPECT_EQ(removeSpaces(t), expected) << testing::PrintToString(t);
  }
}

TEST(SlicesTest, LeftRightMidRemoveRange) {
  EXPECT_EQ(left("abc", 2), "ab");
  EXPECT_EQ(left("abc", 9), "abc");
  EXPECT_EQ(left("abc", 0), "");
  EXPECT_EQ(left("abc", -1), "");
  EXPECT_EQ(right("abc", 2), "bc");
  EXPECT_EQ(right("abc", 9), "abc");
  EXPECT_EQ(right("abc", 0), "");
  EXPECT_EQ(mid("abcd", 2, 2), "bc");
  EXPECT_EQ(mid("abcd", 3, 9), "cd");
  EXPECT_EQ(mid("abcd", 0, 2), "") << "start before the text";
  EXPECT_EQ(mid("abcd", 5, 1), "") << "start after the text";
  EXPECT_EQ(mid("abcd", 1, 0), "");
  EXPECT_EQ(removeRange("abcdef", 2, 3), "aef");
  EXPECT_EQ(removeRange("abcdef", 5, 9), "abcd") << "count clamped";
  EXPECT_EQ(removeRange("abcdef", -2, 2), "cdef") << "start clamped";
  EXPECT_EQ(removeRange("abcdef", 7, 2), "abcdef");
  EXPECT_EQ(removeRange("abcdef", 2, 0), "abcdef");
  EXPECT_EQ(removeRange("Set-Cookie: a=1", 1, 12), "a=1");
}

TEST(CaseTest, ToLowerEqualsCompare) {
  EXPECT_EQ(toLower("AbC\xC1\x41Z"), "abc\xC1\x41z") << "trail byte A stays";
  EXPECT_EQ(toLower("A\xC1"), "a\xC1") << "lone lead byte kept";
  EXPECT_TRUE(equals("a\xB0", "a\xB0"));
  EXPECT_FALSE(equals("a", "A"));
  EXPECT_EQ(compare("HTTP://", "http://", false), 0);
  EXPECT_NE(compare("HTTP://", "http://", true), 0);
  EXPECT_NE(compare("http:/", "http://", false), 0);
  EXPECT_NE(compare("\x81\x41", "\x81\x61", false), 0) << "different characters, not case";
  EXPECT_EQ(compare("\xB0\xA1x", "\xB0\xA1X", false), 0);
  EXPECT_EQ(compare("", "", true), 0);
}

TEST(CodesTest, CharCodeCharFromCodeBlanks) {
  EXPECT_EQ(charCode("abc", 1), 'a');
  EXPECT_EQ(charCode("abc", 4), 0);
  EXPECT_EQ(charCode("abc", 0), 0);
  EXPECT_EQ(charCode("\xB0", 1), 0xB0);
  EXPECT_EQ(charFromCode(0), "");
  EXPECT_EQ(charFromCode('A'), "A");
  EXPECT_EQ(charFromCode(0xB0), "\xB0");
  EXPECT_EQ(blankText(3), "   ");
  EXPECT_EQ(blankText(0), "");
  EXPECT_EQ(blankBytes(2), Bytes{std::string(2, '\0')});
  EXPECT_EQ(blankBytes(-1), Bytes{});
  EXPECT_EQ(bytesLeft(Bytes{std::string("a\0b", 3)}, 2), Bytes{std::string("a\0", 2)});
  EXPECT_EQ(bytesLeft(Bytes{"ab"}, 0), Bytes{});
  EXPECT_EQ(bytesLeft(Bytes{"ab"}, -1), Bytes{});
  EXPECT_EQ(length(Bytes{std::string("a\0b", 3)}), 3);
  EXPECT_EQ(length(Text("\xB0\xA1")), 2);
}

TEST(ToNumberTest, Cases) {
  struct Case {
    const char* name;
    Text text;
    double expected;
  };
  const Case cases[] = {
      {"PlainInteger", "8080", 8080},
      {"StopsAtSlash", "8080/x", 8080},
      {"Fraction", "80.9", 80.9},
      {"EmptyIsZero", "", 0},
      {"NoNumberIsZero", "abc", 0},
      {"LeadingWhiteSpaceSkipped", " \t\r\n\v\f-1.5e2x", -150},
      {"ExponentWithoutDigitsIgnored", "1e", 1},
      {"SignedExponent", "25E-1", 2.5},
      {"FractionWithoutIntegerPart", "+.5", 0.5},
      {"PointAloneIsZero", ".", 0},
      {"SignAloneIsZero", "-", 0},
      {"InfinityNotANumber", "inf", 0},
      {"NaNNotANumber", "nan", 0},
      {"HexNotRead", "0x10", 0},
      {"FullWidthDigits", "\xA3\xB8\xA3\xB0", 80},
      {"FullWidthMinusAndPoint", "\xA3\xAD\xA3\xB1\xA3\xAE\xA3\xB5", -1.5},
      {"FullWidthSpaceSkipped", "\xA1\xA1 12", 12},
      {"DoubleByteCharacterStops",
       "12\xC1\xAA"
       "3",
       12},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(toNumber(c.text), c.expected) << c.name;
  EXPECT_EQ(static_cast<int>(toNumber("80.9")), 80) << "callers truncate";
}

TEST(ConversionTest, ToTextToBytesConcatenation) {
  EXPECT_EQ(toText(-12), "-12");
  EXPECT_EQ(toText(INT_MIN), "-2147483648");
  EXPECT_EQ(toText(true), "\xD5\xE6");   // 真
  EXPECT_EQ(toText(false), "\xBC\xD9");  // 假
  EXPECT_EQ(toText(Bytes{std::string("ab\0cd", 5)}), "ab") << "cut at the first NUL";
  EXPECT_EQ(toText(Bytes{}), "");
  EXPECT_EQ(toBytes("ab"), Bytes{"ab"});
  EXPECT_EQ(Bytes{std::string("a\0", 2)} + Bytes{"b"}, Bytes{std::string("a\0b", 3)});
}

}  // namespace
}  // namespace text
