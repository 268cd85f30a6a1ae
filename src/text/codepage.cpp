#include "text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>
#include <unicode/utrans.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace text {

namespace {

// Writes one "?" per UTF-16 unit of a character the code page lacks, as the
// Windows conversion does (a character outside the BMP gives "??").
void QuestionMarkPerUnit(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t length,
                         UChar32, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close or clone: nothing to write
  *err = U_ZERO_ERROR;
  static constexpr char kMarks[2] = {'?', '?'};
  ucnv_cbFromUWriteBytes(args, kMarks, length < 2 ? length : 2, 0, err);
}

// Big5 bytes without a character become U+30FB, the default character of
// code page 950 in the Windows tables.
void Big5DefaultChar(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                     UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  static constexpr UChar kDefault = 0x30FB;
  ucnv_cbToUWriteUChars(args, &kDefault, 1, 0, err);
}

struct ConverterClose {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
struct TransliteratorClose {
  void operator()(UTransliterator* t) const { utrans_close(t); }
};
using Converter = std::unique_ptr<UConverter, ConverterClose>;

Converter OpenConverter(const char* name) {
  UErrorCode err = U_ZERO_ERROR;
  Converter c(ucnv_open(name, &err));
  if (U_FAILURE(err)) return nullptr;
  // Best-fit mappings, as the Windows code-page functions use them.
  ucnv_setFallback(c.get(), true);
  return c;
}

// Converters are stateful, so each thread keeps its own.
struct Converters {
  Converter gbk = OpenConverter("windows-936-2000");
  Converter gbkStrict = OpenConverter("windows-936-2000");
  Converter big5 = OpenConverter("windows-950-2000");
  std::unique_ptr<UTransliterator, TransliteratorClose> hantHans;
  // Simplified form of each two-byte GBK character, 0 while not yet looked up.
  std::unique_ptr<std::array<uint16_t, 65536>> simplified;

  Converters() {
    UErrorCode err = U_ZERO_ERROR;
    if (gbk) ucnv_setFromUCallBack(gbk.get(), QuestionMarkPerUnit, nullptr, nullptr, nullptr, &err);
    err = U_ZERO_ERROR;
    if (gbkStrict)
      ucnv_setFromUCallBack(gbkStrict.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &err);
    err = U_ZERO_ERROR;
    if (big5) ucnv_setToUCallBack(big5.get(), Big5DefaultChar, nullptr, nullptr, nullptr, &err);
  }
};

Converters& converters() {
  thread_local Converters c;
  return c;
}

// UTF-16 to GBK through the given converter; an error ends the result at the
// character that failed (whatever was converted before it is kept).
Text EncodeGbk(UConverter* cnv, const UChar* src, int32_t len) {
  if (cnv == nullptr || len == 0) return {};
  ucnv_resetFromUnicode(cnv);
  Text out(static_cast<size_t>(len) * 2 + 2, '\0');
  char* target = out.data();
  const UChar* source = src;
  UErrorCode err = U_ZERO_ERROR;
  ucnv_fromUnicode(cnv, &target, out.data() + out.size(), &source, src + len, nullptr, true, &err);
  out.resize(static_cast<size_t>(target - out.data()));
  // A NUL among the characters ends the text.
  out.resize(strnlen(out.data(), out.size()));
  return out;
}

std::u16string DecodeWith(UConverter* cnv, const Text& bytes) {
  if (cnv == nullptr || bytes.empty()) return {};
  ucnv_resetToUnicode(cnv);
  // Room to spare: every byte gives at most one UTF-16 unit in these code pages.
  std::u16string out(bytes.size() * 2 + 2, u'\0');
  UChar* target = out.data();
  const char* source = bytes.data();
  UErrorCode err = U_ZERO_ERROR;
  ucnv_toUnicode(cnv, &target, out.data() + out.size(), &source, bytes.data() + bytes.size(),
                 nullptr, true, &err);
  out.resize(static_cast<size_t>(target - out.data()));
  return out;
}

// The simplified form of one two-byte GBK character, or the character itself
// when it has none of the same byte length.
uint16_t SimplifiedPair(Converters& c, uint16_t pair) {
  if (!c.simplified) c.simplified = std::make_unique<std::array<uint16_t, 65536>>();
  uint16_t& cached = (*c.simplified)[pair];
  if (cached != 0) return cached;
  cached = pair;
  if (!c.hantHans) {
    UErrorCode err = U_ZERO_ERROR;
    static constexpr UChar kId[] = u"Hant-Hans";
    c.hantHans.reset(utrans_openU(kId, -1, UTRANS_FORWARD, nullptr, 0, nullptr, &err));
    if (U_FAILURE(err)) c.hantHans.reset();
  }
  if (!c.hantHans) return cached;
  const Text original{static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
  std::u16string ch = DecodeWith(c.gbkStrict.get(), original);
  if (ch.empty()) return cached;
  // Room for the transliterator to write a longer result than its input.
  constexpr int32_t kCapacity = 16;
  UChar buf[kCapacity] = {};
  int32_t len = static_cast<int32_t>(ch.size());
  std::memcpy(buf, ch.data(), ch.size() * sizeof(UChar));
  int32_t limit = len;
  UErrorCode err = U_ZERO_ERROR;
  utrans_transUChars(c.hantHans.get(), buf, &len, kCapacity, 0, &limit, &err);
  if (U_FAILURE(err) || len <= 0 || len > kCapacity) return cached;
  UErrorCode encErr = U_ZERO_ERROR;
  ucnv_resetFromUnicode(c.gbkStrict.get());
  char mapped[2 * kCapacity + 2];
  const int32_t n = ucnv_fromUChars(c.gbkStrict.get(), mapped, sizeof mapped, buf, len, &encErr);
  if (U_SUCCESS(encErr) && n == 2)
    cached = static_cast<uint16_t>(static_cast<unsigned char>(mapped[0]) << 8 |
                                   static_cast<unsigned char>(mapped[1]));
  return cached;
}

}  // namespace

Text Utf8ToGbk(const Text& utf8) {
  const size_t n = strnlen(utf8.data(), utf8.size());
  if (n == 0) return {};
  std::u16string units(n, u'\0');
  int32_t len = 0;
  UErrorCode err = U_ZERO_ERROR;
  // Malformed UTF-8 becomes U+FFFD per bad sequence, which GBK lacks: "?".
  u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &len, utf8.data(),
                       static_cast<int32_t>(n), 0xFFFD, nullptr, &err);
  if (U_FAILURE(err)) return {};
  return EncodeGbk(converters().gbk.get(), units.data(), len);
}

Text Big5ToSimplifiedGbk(const Text& big5) {
  Converters& c = converters();
  const std::u16string units = DecodeWith(c.big5.get(), Text(big5.c_str()));
  // A character GBK lacks ends the text, as the NUL it would become.
  Text gbk = EncodeGbk(c.gbkStrict.get(), units.data(), static_cast<int32_t>(units.size()));
  for (size_t i = 0; i + 1 < gbk.size(); ++i) {
    const unsigned char lead = static_cast<unsigned char>(gbk[i]);
    if (lead < 0x80) continue;
    const uint16_t pair = static_cast<uint16_t>(lead << 8 | static_cast<unsigned char>(gbk[i + 1]));
    const uint16_t mapped = SimplifiedPair(c, pair);
    gbk[i] = static_cast<char>(mapped >> 8);
    gbk[i + 1] = static_cast<char>(mapped & 0xFF);
    ++i;
  }
  return gbk;
}

std::u16string GbkToUtf16(const Text& gbk) {
  return DecodeWith(converters().gbk.get(), Text(gbk.c_str()));
}

Text Utf16ToGbk(const std::u16string& utf16) {
  return EncodeGbk(converters().gbk.get(), utf16.data(), static_cast<int32_t>(utf16.size()));
}

}  // namespace text
