// find and replaceAll against slow references written from their definitions.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/text.h"

namespace {

bool IsLead(unsigned char c) { return c >= 0x80; }

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool MatchesAt(const std::string& text, size_t at, const std::string& sub, bool ignoreCase) {
  if (at + sub.size() > text.size()) return false;
  for (size_t k = 0; k < sub.size(); ++k) {
    unsigned char a = text[at + k], b = sub[k];
    if (ignoreCase ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

int ReferenceFind(const std::string& text, const std::string& sub, int start, bool ignoreCase) {
  const int n = static_cast<int>(text.size());
  if (start < 1) start = 1;
  if (start > n) return -1;
  if (sub.empty()) return 1;
  for (int i = start; i <= n;) {
    if (MatchesAt(text, i - 1, sub, ignoreCase)) return i;
    i += IsLead(text[i - 1]) ? 2 : 1;
  }
  return -1;
}

std::string ReferenceReplace(const std::string& text, const std::string& what,
                             const std::string& with, int start, int count, bool caseSensitive) {
  const int n = static_cast<int>(text.size());
  if (text.empty() || what.empty() || count < 1) return text;
  if (start < 1) start = 1;
  if (start > n) return text;
  std::string out = text.substr(0, start - 1);
  int i = start;
  while (i <= n) {
    if (count > 0 && MatchesAt(text, i - 1, what, !caseSensitive)) {
      out += with;
      i += static_cast<int>(what.size());
      --count;
    } else if (IsLead(text[i - 1])) {
      if (i == n) break;  // a lead byte with no partner is dropped
      out.append(text, i - 1, 2);
      i += 2;
    } else {
      out += text[i - 1];
      i += 1;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const bool ignoreCase = in.byte() & 1;
  const int start = static_cast<int8_t>(in.byte());
  const int count = static_cast<int8_t>(in.byte());
  const std::string sub = fuzz::AsText(in.piece());
  const std::string with = fuzz::AsText(in.piece());
  const std::string text = fuzz::AsText(in.rest());

  if (text::find(text, sub, start, ignoreCase) != ReferenceFind(text, sub, start, ignoreCase))
    std::abort();

  // With a limited count the scan may stop before the end; what happens to a
  // partnerless lead byte after that point is not fixed, so compare only
  // where it cannot matter.
  const bool trailingLead = !text.empty() && IsLead(text.back());
  const int effectiveCount = count < 0 ? text::kUnlimited : count;
  if (!(trailingLead && effectiveCount != text::kUnlimited)) {
    if (text::replaceAll(text, sub, with, start, effectiveCount, !ignoreCase) !=
        ReferenceReplace(text, sub, with, start, effectiveCount, !ignoreCase))
      std::abort();
  }
  return 0;
}
