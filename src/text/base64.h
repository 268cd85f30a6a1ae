#pragma once

#include "text/text.h"

namespace text {

// Decodes Base64 after removing spaces and CR LF pairs. Well-formed input
// decodes as standard Base64; an invalid character in the last group stops the
// output short, and in an earlier group its own code stands in its slot.
// Dispatches pending window events while it works, so a long text does not
// freeze the window.
Bytes Base64Decode(const Text& text);

}  // namespace text
