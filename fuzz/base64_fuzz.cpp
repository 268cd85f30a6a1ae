// Base64Decode on any bytes must not fail; on well-formed Base64 it must give
// back exactly the bytes a standard encoder was given.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/base64.h"

namespace {

std::string StandardEncode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
  }
  if (bytes.size() - i == 1) {
    const unsigned v = uint8_t(bytes[i]) << 16;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
  } else if (bytes.size() - i == 2) {
    const unsigned v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const bool wellFormed = in.byte() & 1;
  const std::string bytes = in.rest();
  if (wellFormed) {
    if (text::Base64Decode(StandardEncode(bytes)).data != bytes) std::abort();
  } else {
    text::Base64Decode(fuzz::AsText(bytes));
  }
  return 0;
}
