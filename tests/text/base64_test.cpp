#include "text/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace text {
namespace {

Bytes B(const std::string& s) {
  return Bytes{s};
}

// A standard decoder for well-formed Base64, the reference for valid input.
std::string referenceDecode(const std::string& in) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : in) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<unsigned>(kAlphabet.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

std::string referenceEncode(const std::string& in) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

TEST(Base64DecodeTest, Cases) {
  struct Case {
    const char* name;
    Text text;
    Bytes expected;
  };
  const Case cases[] = {
      {"ThreeBytes", "QUJD", B("ABC")},
      {"OnePadding", "QUI=", B("AB")},
      {"TwoPaddings", "QQ==", B("A")},
      {"EmptyDecodesToNothing", "", B("")},
      {"SpacesAndCrLfPairsIgnored", "QU JD\r\nRA==", B("ABCD")},
      {"FullWidthSpaceIgnored", "QUJD\xA1\xA1", B("ABC")},
      {"OnlySpacesDecodeToNothing", "  \r\n", B("")},
      // Missing positions of a short last group read as "A"; nothing dropped.
      {"ShortLastGroupPaddedWithA", "QUJDRA", B(std::string("ABCD\0\0", 6))},
      // Bad: the last group holds no valid character, so four of six bytes go.
      {"LastGroupAllInvalid", "QUJD====", B("AB")},
      // Bad: "=" inside the text; its own code fills its slot in that group.
      {"InvalidCharacterInEarlierGroup", "QUI=QUJD", B("AB=ABC")},
      // Bad: a lone LF is no pair, so it forms a last group that stops at once.
      {"LoneLineFeedAfterGroups", "QUJD\n", B("AB")},
      {"StrayPaddingAfterGroups", "QUJD=", B("AB")},
      // Bad: "!" in slot 3 of a middle group; slot 4 keeps the previous
      // group's D (3), so the third byte is (33 * 64 | 3) & 0xFF = "C".
      {"LaterSlotsKeepPreviousGroupValues", "QUJDQU!IQUJD", B("ABCAHCABC")},
      // Bad: a high byte is invalid too.
      {"HighByteIsInvalid", "QUJD\xB0\xA1QQ", B("AB")},
      // Bad: a single character gives too few bytes to drop, so nothing is left.
      {"ShortfallLeavesNothing", "=", B("")},
  };
  for (const Case& c : cases) EXPECT_EQ(Base64Decode(c.text), c.expected) << c.name;
}

TEST(Base64DecodeTest, LoneAIsTheByteHAndTwoZeros) {
  EXPECT_EQ(Base64Decode("a"), B(std::string("h\0\0", 3)));
}

TEST(Base64DecodeTest, AgreesWithStandardDecoderOnWellFormedInput) {
  std::mt19937 rng(5);
  for (int round = 0; round < 500; ++round) {
    std::string raw(rng() % 40, '\0');
    for (char& c : raw) c = static_cast<char>(rng());
    const std::string encoded = referenceEncode(raw);
    ASSERT_EQ(referenceDecode(encoded), raw);
    EXPECT_EQ(Base64Decode(encoded), B(raw)) << encoded;
  }
}

TEST(Base64DecodeTest, LongInputDecodesWhole) {
  std::string raw(3 << 20, '\0');
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>(i * 7 + (i >> 8));
  EXPECT_EQ(Base64Decode(referenceEncode(raw)), B(raw));
}

}  // namespace
}  // namespace text
