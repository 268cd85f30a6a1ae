#pragma once
// GBK text and raw bytes, and the primitive operations the whole program is
// written in. Positions are 1-based byte positions; a search that finds
// nothing yields -1; a count or length below 1 selects nothing.

#include <limits>
#include <string>

namespace text {

// GBK bytes (code page 936) holding no NUL byte. A byte of 0x80 or more starts
// a double-byte character together with the byte after it.
using Text = std::string;

// A byte array with an explicit length; may hold any byte values.
struct Bytes {
  std::string data;
  bool operator==(const Bytes&) const = default;
};

Bytes operator+(const Bytes& a, const Bytes& b);

inline constexpr int kNotFound = -1;
inline constexpr int kUnlimited = std::numeric_limits<int>::max();

// Position of the first occurrence of sub at or after start (below 1 counts
// as 1), stepping over double-byte characters so a match never begins on a
// trail byte; -1 when absent. An empty sub yields 1 when the searched part is
// non-empty. ignoreCase folds the ASCII letters only, trail bytes included.
int find(const Text& text, const Text& sub, int start = 1, bool ignoreCase = false);

int length(const Text& text);
int length(const Bytes& bytes);

// The first / last n bytes; the whole text when n exceeds its length.
Text left(const Text& text, int n);
Text right(const Text& text, int n);
// Up to n bytes from start; empty when start lies outside 1..length.
Text mid(const Text& text, int start, int n);

// Replaces successive non-overlapping occurrences of what found at or after
// start, at most count times, with the character stepping of find. An empty
// text or what leaves the text unchanged.
Text replaceAll(const Text& text, const Text& what, const Text& with = {}, int start = 1,
                int count = kUnlimited, bool caseSensitive = true);

// text without the n bytes from start, both clamped to the text.
Text removeRange(const Text& text, int start, int n);

// Spaces are 0x20 and the full-width space 0xA1 0xA1; tabs and line ends are
// not. A lead byte just before the end is dropped by both.
Text trim(const Text& text);
Text removeSpaces(const Text& text);

// ASCII A-Z become a-z; double-byte characters are left alone.
Text toLower(const Text& text);

bool equals(const Text& a, const Text& b);
// 0 when equal (ASCII case folded when caseSensitive is false), else non-zero.
int compare(const Text& a, const Text& b, bool caseSensitive);

// The byte at position (1-based), 0 past either end.
int charCode(const Text& text, int position);
// The one-byte text holding code; empty for 0.
Text charFromCode(int code);

Text blankText(int n);    // n spaces
Bytes blankBytes(int n);  // n zero bytes
Bytes bytesLeft(const Bytes& bytes, int n);

// Reads a leading decimal floating-point number after turning the GBK
// full-width ASCII forms into ASCII; 0 when no number starts the text.
double toNumber(const Text& text);

Text toText(int value);
Text toText(bool value);  // "真" or "假" in GBK
Text toText(const Bytes& bytes);   // up to the first NUL byte
Bytes toBytes(const Text& text);

}  // namespace text
