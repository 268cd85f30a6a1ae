#include "text/base64.h"

#include <array>
#include <chrono>
#include <string_view>

#include "platform/platform.h"

namespace text {

namespace {

constexpr int kInvalid = -1;

// Value of each byte in the Base64 alphabet, kInvalid outside it. A missing
// position past the end reads as code 0, which counts as "A".
constexpr std::array<int, 256> kValues = [] {
  std::array<int, 256> v{};
  v.fill(kInvalid);
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = i;
  v[0] = 0;
  return v;
}();

// Window events run at least this often during a long decode.
constexpr auto kDispatchInterval = std::chrono::milliseconds(1);
// Groups decoded between two looks at the clock.
constexpr size_t kGroupsPerClockCheck = 256;

// Whether removing spaces and CR LF pairs would leave the text as it is: no
// space, no CR and no byte of 0x80 or more (which could be a lone lead byte or
// start a full-width space).
bool needsNoCleaning(const Text& text) {
  for (const char c : text)
    if (c == ' ' || c == '\r' || static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

Bytes Base64Decode(const Text& text) {
  // Well-formed Base64 skips the two cleaning copies.
  const bool clean = needsNoCleaning(text);
  const Text cleaned = clean ? Text() : replaceAll(removeSpaces(text), "\r\n", "");
  const std::string_view s = clean ? std::string_view(text) : std::string_view(cleaned);
  const size_t n = s.size();
  const size_t groups = (n + 3) / 4;
  Bytes out;
  if (groups == 0) return out;
  out.data.resize(groups * 3);
  char* o = out.data.data();

  // The slots keep their values from group to group: after an invalid
  // character, the later slots of that group still hold the previous ones.
  int v[4] = {0, 0, 0, 0};
  int stop = 0;
  auto lastDispatch = std::chrono::steady_clock::now();
  for (size_t g = 0; g < groups; ++g) {
    const size_t base = g * 4;
    stop = 5;
    for (int j = 0; j < 4; ++j) {
      const unsigned char c = base + j < n ? static_cast<unsigned char>(s[base + j]) : 0;
      const int k = kValues[c];
      if (k == kInvalid) {
        v[j] = c;
        stop = j + 1;
        break;
      }
      v[j] = k;
    }
    o[0] = static_cast<char>((v[0] * 4 | v[1] / 16) & 0xFF);
    o[1] = static_cast<char>((v[1] * 16 | v[2] / 4) & 0xFF);
    o[2] = static_cast<char>((v[2] * 64 | v[3]) & 0xFF);
    o += 3;

    // Dispatching after the first group and then at least once a millisecond
    // keeps the window responsive without a clock read per group.
    if (g % kGroupsPerClockCheck == 0) {
      const auto now = std::chrono::steady_clock::now();
      if (g == 0 || now - lastDispatch >= kDispatchInterval) {
        platform::DispatchPendingEvents();
        lastDispatch = std::chrono::steady_clock::now();
      }
    }
  }
  if (stop < 5) {
    const size_t drop = static_cast<size_t>(5 - stop);
    out.data.erase(out.data.size() > drop ? out.data.size() - drop : 0);
  }
  return out;
}

}  // namespace text
