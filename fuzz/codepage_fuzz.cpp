// The conversions into GBK on any bytes: a Text without NUL, and pure ASCII
// passes through unchanged.
#include <algorithm>
#include <cstdlib>

#include "fuzz_input.h"
#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const std::string input = fuzz::AsText(in.rest());
  const bool ascii = std::all_of(input.begin(), input.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  for (const std::string& out : {text::Utf8ToGbk(input), text::Big5ToSimplifiedGbk(input)}) {
    if (out.find('\0') != std::string::npos) std::abort();
    if (ascii && out != input) std::abort();
  }
  text::GbkToUtf16(input);
  return 0;
}
