#pragma once
// Conversions into and out of GBK (Windows code page 936).

#include <string>

#include "text/text.h"

namespace text {

// UTF-8 to GBK; a character GBK lacks becomes "?" per UTF-16 unit, best-fit
// mappings apply (é becomes e). The input is taken up to its first NUL; each
// malformed UTF-8 sequence becomes one "?".
Text Utf8ToGbk(const Text& utf8);

// Big5 (code page 950) to GBK, then traditional characters to simplified ones
// one for one. The result ends just before the first character GBK lacks;
// bytes that are no Big5 character end it too.
Text Big5ToSimplifiedGbk(const Text& big5);

// The window's boundary: GBK to UTF-16 and back, with the 936 table.
std::u16string GbkToUtf16(const Text& gbk);
Text Utf16ToGbk(const std::u16string& utf16);

}  // namespace text
