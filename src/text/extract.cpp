#include "text/extract.h"

#include "text/codepage.h"

namespace text {

namespace {

// Lets callers write a double quote inside a marker.
Text withQuotes(const Text& marker) {
  static const Text kQuoteMark = Utf8ToGbk("#引号");
  return replaceAll(marker, kQuoteMark, "\"");
}

}  // namespace

Text MiddleText(const Text& text, const Text& leftMarker, const Text& rightMarker, int start,
                bool caseSensitive) {
  const Text leftMark = withQuotes(leftMarker);
  const Text rightMark = withQuotes(rightMarker);
  const int p = find(text, leftMark, start, !caseSensitive);
  if (p == kNotFound) return {};
  const Text rest = right(text, length(text) - p - length(leftMark) + 1);
  const int q = find(rest, rightMark, start, !caseSensitive);
  if (q == kNotFound) return {};
  return left(rest, q - 1);
}

Text TextBefore(const Text& text, const Text& delimiter, int start, bool ignoreCase) {
  const int p = find(text, delimiter, start > 0 ? start : 1, ignoreCase);
  if (p == kNotFound) return {};
  return left(text, p - 1);
}

}  // namespace text
