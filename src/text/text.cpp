#include "text/text.h"

#include <locale.h>
#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "text/codepage.h"

namespace text {

namespace {

using Byte = unsigned char;

const Byte* bytesOf(const std::string& s) {
  return reinterpret_cast<const Byte*>(s.data());
}

bool isLead(Byte b) {
  return b >= 0x80;
}

Byte foldAscii(Byte b) {
  return (b >= 'A' && b <= 'Z') ? static_cast<Byte>(b + 32) : b;
}

bool hasAsciiLetter(const Text& s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// Lower-cases the ASCII capitals of 8 bytes at once; bytes of 0x80 or more
// stay as they are.
uint64_t foldWord(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t low7 = x & (kOnes * 0x7F);
  const uint64_t aboveZ = low7 + kOnes * (0x7F - 'Z');
  const uint64_t atLeastA = low7 + kOnes * (0x80 - 'A');
  const uint64_t upper = ~x & (atLeastA ^ aboveZ) & (kOnes * 0x80);
  return x | (upper >> 2);
}

void foldInto(const Byte* src, size_t n, Byte* dst) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, src + i, 8);
    w = foldWord(w);
    memcpy(dst + i, &w, 8);
  }
  for (; i < n; ++i) dst[i] = foldAscii(src[i]);
}

// Whether pos starts a character, given that `from` (<= pos) does. A byte
// below 0x80 is never a lead byte, so the byte after it always starts a
// character; only the run of high bytes right before pos needs counting.
bool startsCharacter(const Byte* s, size_t from, size_t pos) {
  size_t i = pos;
  while (i > from && isLead(s[i - 1])) --i;
  return (pos - i) % 2 == 0;
}

// memmem that looks at a growing span first, so that a call costs about the
// distance to its hit: sanitizer builds check the whole span handed to memmem,
// which would make a search with many near-misses quadratic.
const Byte* memmemNear(const Byte* p, size_t len, const Byte* sub, size_t m) {
  size_t span = 4 * m + 256;
  size_t off = 0;
  while (len - off >= m) {
    const size_t take = std::min(len - off, span);
    if (const void* hit = memmem(p + off, take, sub, m)) return static_cast<const Byte*>(hit);
    if (take == len - off) break;
    off += take - (m - 1);  // overlap so that no match is missed
    span *= 2;
  }
  return nullptr;
}

// Finds candidate positions of a sub text by plain byte matching, ASCII case
// folded on request. Candidates are then checked against the character
// stepping by the caller.
class Matcher {
 public:
  Matcher(const Text& text, const Text& sub, bool ignoreCase)
      : s_(bytesOf(text)), n_(text.size()), sub_(sub) {
    fold_ = ignoreCase && hasAsciiLetter(sub);
    if (fold_)
      std::transform(sub_.begin(), sub_.end(), sub_.begin(),
                     [](char c) { return static_cast<char>(foldAscii(static_cast<Byte>(c))); });
  }

  // First candidate at or after from, or npos.
  size_t next(size_t from) {
    const size_t m = sub_.size();
    if (from > n_ || n_ - from < m) return std::string::npos;
    if (!fold_) {
      const Byte* hit = memmemNear(s_ + from, n_ - from, subBytes(), m);
      return hit ? static_cast<size_t>(hit - s_) : std::string::npos;
    }
    return nextFolded(from);
  }

 private:
  size_t nextFolded(size_t from) {
#if defined(__SSE2__)
    if (!windowed_) return nextFoldedByAnchors(from);
#endif
    return nextFoldedInWindows(from);
  }

#if defined(__SSE2__)
  // Tests 16 positions at a time for the folded first and last byte of sub,
  // folding in registers, and compares the rest only where both agree. When
  // such near-misses pile up beyond a linear budget, the search carries on
  // by windows so that it never turns quadratic.
  size_t nextFoldedByAnchors(size_t from) {
    const size_t m = sub_.size();
    const Byte* sub = reinterpret_cast<const Byte*>(sub_.data());
    const __m128i first = _mm_set1_epi8(static_cast<char>(sub[0]));
    const __m128i last = _mm_set1_epi8(static_cast<char>(sub[m - 1]));
    size_t i = from;
    for (; i + m + 15 <= n_; i += 16) {
      const __m128i a = fold16(s_ + i), b = fold16(s_ + i + m - 1);
      unsigned mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
      while (mask != 0) {
        const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
        if (foldedEqual(at)) return at;
        mask &= mask - 1;
        budget_ -= static_cast<ptrdiff_t>(m);
      }
      if (budget_ < 0) {
        windowed_ = true;
        return nextFoldedInWindows(i + 16);
      }
    }
    for (; i + m <= n_; ++i)
      if (foldAscii(s_[i]) == sub[0] && foldedEqual(i)) return i;
    return std::string::npos;
  }

  static __m128i fold16(const Byte* p) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // A..Z shifted to 0x80..0x99 are exactly the bytes below -102 as signed.
    const __m128i shifted = _mm_add_epi8(x, _mm_set1_epi8(0x80 - 'A'));
    const __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(-128 + 26));
    return _mm_add_epi8(x, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
  }
#endif

  const Byte* subBytes() const {
    return reinterpret_cast<const Byte*>(sub_.data());
  }

  bool foldedEqual(size_t at) const {
    const Byte* sub = reinterpret_cast<const Byte*>(sub_.data());
    for (size_t k = 0; k < sub_.size(); ++k)
      if (foldAscii(s_[at + k]) != sub[k]) return false;
    return true;
  }

  // Folds the text a window at a time into a small buffer, so that a search
  // ignoring case costs one pass and no copy of the whole text.
  size_t nextFoldedInWindows(size_t from) {
    const size_t m = sub_.size();
    while (from + m <= n_) {
      if (from < winStart_ || from + m > winStart_ + win_.size()) refill(from);
      const size_t off = from - winStart_;
      const Byte* hit = memmemNear(win_.data() + off, win_.size() - off, subBytes(), m);
      if (hit) return winStart_ + static_cast<size_t>(hit - win_.data());
      if (winStart_ + win_.size() >= n_) return std::string::npos;
      // The next window overlaps this one by m - 1 bytes so no match is missed.
      from = winStart_ + win_.size() - (m - 1);
      refill(from);
    }
    return std::string::npos;
  }

  void refill(size_t from) {
    constexpr size_t kWindow = 64 * 1024;
    const size_t len = std::min(n_ - from, std::max(kWindow, 2 * sub_.size()));
    win_.resize(len);
    foldInto(s_ + from, len, win_.data());
    winStart_ = from;
  }

  const Byte* s_;
  size_t n_;
  std::string sub_;
  bool fold_ = false;
  std::basic_string<Byte> win_;
  size_t winStart_ = 0;
  bool windowed_ = false;
  // Bytes the anchor search may spend on near-misses: a few passes' worth.
  ptrdiff_t budget_ = static_cast<ptrdiff_t>(4 * n_ + 4096);
};

bool isSpaceAt(const Byte* s, size_t n, size_t i) {
  return s[i] == ' ' || (s[i] == 0xA1 && i + 1 < n && s[i + 1] == 0xA1);
}

// Width in bytes of the character at i; a lone lead byte at the end counts 1.
size_t widthAt(const Byte* s, size_t n, size_t i) {
  return (isLead(s[i]) && i + 1 < n) ? 2 : 1;
}

// Whether the last byte is a lead byte without its partner, given that
// `boundary` starts a character.
bool endsWithLoneLead(const Byte* s, size_t n, size_t boundary) {
  return boundary < n && isLead(s[n - 1]) && startsCharacter(s, boundary, n - 1);
}

int clampToInt(size_t v) {
  return static_cast<int>(std::min<size_t>(v, kUnlimited));
}

}  // namespace

Bytes operator+(const Bytes& a, const Bytes& b) {
  return Bytes{a.data + b.data};
}

int find(const Text& text, const Text& sub, int start, bool ignoreCase) {
  const size_t n = text.size();
  const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
  if (from >= n) return kNotFound;
  if (sub.empty()) return 1;
  const Byte* s = bytesOf(text);
  Matcher matcher(text, sub, ignoreCase);
  size_t boundary = from;
  for (size_t c = matcher.next(from); c != std::string::npos; c = matcher.next(c + 1)) {
    if (startsCharacter(s, boundary, c)) return clampToInt(c + 1);
    boundary = c + 1;
  }
  return kNotFound;
}

int length(const Text& text) {
  return clampToInt(text.size());
}
int length(const Bytes& bytes) {
  return clampToInt(bytes.data.size());
}

Text left(const Text& text, int n) {
  if (n < 1) return {};
  return text.substr(0, static_cast<size_t>(n));
}

Text right(const Text& text, int n) {
  if (n < 1) return {};
  const size_t k = std::min(text.size(), static_cast<size_t>(n));
  return text.substr(text.size() - k);
}

Text mid(const Text& text, int start, int n) {
  if (start < 1 || static_cast<size_t>(start) > text.size() || n < 1) return {};
  return text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n));
}

Text replaceAll(const Text& text, const Text& what, const Text& with, int start, int count,
                bool caseSensitive) {
  const size_t n = text.size();
  if (n == 0 || what.empty()) return text;
  const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
  if (from >= n || count < 1) return text;
  const Byte* s = bytesOf(text);
  Matcher matcher(text, what, !caseSensitive);
  Text out;
  out.reserve(n);
  out.append(text, 0, from);
  size_t copied = from;    // text before this is already in out
  size_t boundary = from;  // a known character start
  int done = 0;
  size_t c = matcher.next(from);
  while (c != std::string::npos) {
    if (startsCharacter(s, boundary, c)) {
      out.append(text, copied, c - copied);
      out += with;
      copied = boundary = c + what.size();
      if (++done == count) {
        out.append(text, copied, std::string::npos);
        return out;
      }
      c = matcher.next(copied);
    } else {
      boundary = c + 1;
      c = matcher.next(c + 1);
    }
  }
  // The scan ran to the end: a lead byte without its partner is dropped.
  const size_t end = endsWithLoneLead(s, n, std::max(boundary, copied)) ? n - 1 : n;
  out.append(text, copied, end - copied);
  return out;
}

Text removeRange(const Text& text, int start, int n) {
  if (n < 1) return text;
  const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
  if (from >= text.size()) return text;
  Text out = text;
  out.erase(from, static_cast<size_t>(n));
  return out;
}

Text trim(const Text& text) {
  const Byte* s = bytesOf(text);
  const size_t n = text.size();
  size_t i = 0;
  while (i < n && isSpaceAt(s, n, i)) i += widthAt(s, n, i);
  const size_t begin = i;
  size_t end = begin;  // end of the last character that is not a space
  while (i < n) {
    const size_t w = widthAt(s, n, i);
    if (isLead(s[i]) && w == 1) break;
    if (!isSpaceAt(s, n, i)) end = i + w;
    i += w;
  }
  return text.substr(begin, end - begin);
}

Text removeSpaces(const Text& text) {
  const Byte* s = bytesOf(text);
  const size_t n = text.size();
  Text out;
  out.reserve(n);
  size_t copied = 0;
  size_t boundary = 0;
  size_t i = 0;
  while (i < n) {
    // Jump to the next byte that can start a space; whole words without one
    // are skipped at once.
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    while (i + 8 <= n) {
      uint64_t w;
      memcpy(&w, s + i, 8);
      const uint64_t a = w ^ (kOnes * 0x20), b = w ^ (kOnes * 0xA1);
      const uint64_t zeroA = (a - kOnes) & ~a, zeroB = (b - kOnes) & ~b;
      if ((zeroA | zeroB) & (kOnes * 0x80)) break;
      i += 8;
    }
    while (i < n && s[i] != ' ' && s[i] != 0xA1) ++i;
    if (i >= n) break;
    if (!startsCharacter(s, boundary, i)) {
      boundary = i + 1;
      i = boundary;
      continue;
    }
    const size_t w = widthAt(s, n, i);
    if (isSpaceAt(s, n, i) || (w == 1 && s[i] == 0xA1)) {
      out.append(text, copied, i - copied);
      copied = i + w;
    }
    boundary = i = i + w;
  }
  const size_t end = endsWithLoneLead(s, n, std::max(boundary, copied)) ? n - 1 : n;
  if (end > copied) out.append(text, copied, end - copied);
  return out;
}

Text toLower(const Text& text) {
  Text out = text;
  const size_t n = out.size();
  for (size_t i = 0; i < n; ++i) {
    const Byte b = static_cast<Byte>(out[i]);
    if (isLead(b)) {
      ++i;
    } else {
      out[i] = static_cast<char>(foldAscii(b));
    }
  }
  return out;
}

bool equals(const Text& a, const Text& b) {
  return a == b;
}

int compare(const Text& a, const Text& b, bool caseSensitive) {
  const Byte* x = bytesOf(a);
  const Byte* y = bytesOf(b);
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    Byte p = x[i], q = y[i];
    // Both texts are at the same character boundary until the first
    // difference, so a lead byte in one is a lead byte in the other.
    if (isLead(p) && p == q) {
      if (i + 1 < n && x[i + 1] == y[i + 1]) {
        ++i;
        continue;
      }
      if (i + 1 < n) return x[i + 1] < y[i + 1] ? -1 : 1;
      break;
    }
    if (!caseSensitive) p = foldAscii(p), q = foldAscii(q);
    if (p != q) return p < q ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int charCode(const Text& text, int position) {
  if (position < 1 || static_cast<size_t>(position) > text.size()) return 0;
  return static_cast<Byte>(text[static_cast<size_t>(position) - 1]);
}

Text charFromCode(int code) {
  const char c = static_cast<char>(code & 0xFF);
  if (c == 0) return {};
  return Text(1, c);
}

Text blankText(int n) {
  return n < 1 ? Text() : Text(static_cast<size_t>(n), ' ');
}

Bytes blankBytes(int n) {
  return n < 1 ? Bytes() : Bytes{std::string(static_cast<size_t>(n), '\0')};
}

Bytes bytesLeft(const Bytes& bytes, int n) {
  if (n < 0) return {};
  return Bytes{bytes.data.substr(0, static_cast<size_t>(n))};
}

double toNumber(const Text& text) {
  // Full-width ASCII forms and the full-width space become plain ASCII first.
  const Byte* s = bytesOf(text);
  const size_t n = text.size();
  std::string plain;
  plain.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == 0xA3 && i + 1 < n && s[i + 1] >= 0xA1 && s[i + 1] <= 0xFE) {
      plain += static_cast<char>(s[++i] - 0x80);
    } else if (s[i] == 0xA1 && i + 1 < n && s[i + 1] == 0xA1) {
      plain += ' ';
      ++i;
    } else if (isLead(s[i]) && i + 1 < n) {
      plain += static_cast<char>(s[i]);
      plain += static_cast<char>(s[++i]);
    } else {
      plain += static_cast<char>(s[i]);
    }
  }

  // Only a decimal number is read (no hexadecimal, infinity or NaN), so the
  // span is delimited here before the standard reader sees it.
  auto isDigit = [&](size_t i) { return i < plain.size() && plain[i] >= '0' && plain[i] <= '9'; };
  size_t i = 0;
  while (i < plain.size() && (plain[i] == ' ' || (plain[i] >= '\t' && plain[i] <= '\r'))) ++i;
  const size_t begin = i;
  if (i < plain.size() && (plain[i] == '+' || plain[i] == '-')) ++i;
  size_t digits = 0;
  while (isDigit(i)) ++i, ++digits;
  if (i < plain.size() && plain[i] == '.') {
    ++i;
    while (isDigit(i)) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < plain.size() && (plain[i] == 'e' || plain[i] == 'E')) {
    size_t j = i + 1;
    if (j < plain.size() && (plain[j] == '+' || plain[j] == '-')) ++j;
    if (isDigit(j)) {
      while (isDigit(j)) ++j;
      i = j;
    }
  }
  // The decimal point is always ".", whatever locale the toolkit has set.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
  const std::string number = plain.substr(begin, i - begin);
  return strtod_l(number.c_str(), nullptr, cLocale);
}

Text toText(int value) {
  return std::to_string(value);
}

Text toText(bool value) {
  static const Text kTrue = Utf8ToGbk("真");
  static const Text kFalse = Utf8ToGbk("假");
  return value ? kTrue : kFalse;
}

Text toText(const Bytes& bytes) {
  return Text(bytes.data.c_str());
}

Bytes toBytes(const Text& text) {
  return Bytes{text};
}

}  // namespace text
