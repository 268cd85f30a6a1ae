// MiddleText and TextBefore on any bytes: the result is always a piece of the
// text it came from.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const bool flag = in.byte() & 1;
  const int start = static_cast<int8_t>(in.byte());
  const std::string leftMarker = fuzz::AsText(in.piece());
  const std::string rightMarker = fuzz::AsText(in.piece());
  const std::string text = fuzz::AsText(in.rest());

  const std::string middle = text::MiddleText(text, leftMarker, rightMarker, start, flag);
  if (!middle.empty() && text.find(middle) == std::string::npos) std::abort();

  const std::string before = text::TextBefore(text, leftMarker, start, flag);
  if (text.compare(0, before.size(), before) != 0) std::abort();
  return 0;
}
