#pragma once
// The captcha picture of the stand-in file host: the digits of a code drawn as
// pen strokes on a small canvas with a little noise.

#include <cstdint>
#include <string>

namespace standin {

inline constexpr int kCaptchaWidth = 70;
inline constexpr int kCaptchaHeight = 30;

// PNG bytes of a kCaptchaWidth x kCaptchaHeight picture showing code; seed
// varies jitter and noise. Characters other than the digits 0-9 are left
// blank. Empty when the picture cannot be encoded. Safe to call from any
// thread, with or without an application object.
std::string DrawCaptchaPng(const std::string& code, std::uint32_t seed);

}  // namespace standin
