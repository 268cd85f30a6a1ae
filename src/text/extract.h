#pragma once
// Taking data out of pages and headers by markers.

#include "text/text.h"

namespace text {

// The text between leftMarker and the next rightMarker. "#引号" in a marker
// stands for a double quote. start applies to both searches: first in text,
// then again within the rest after the left marker. Empty when either marker
// is missing.
Text MiddleText(const Text& text, const Text& leftMarker, const Text& rightMarker, int start = 0,
                bool caseSensitive = false);

// The text in front of the first delimiter at or after start; empty when the
// delimiter is absent (not the whole text).
Text TextBefore(const Text& text, const Text& delimiter, int start = 0, bool ignoreCase = false);

}  // namespace text
