#pragma once
// A minimal PNG writer, so the stand-in encodes its pictures without the
// toolkit's image plugins (which must not be loaded from server threads).

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// PNG bytes of an 8-bit RGB picture; rgb holds width * height * 3 bytes, row
// by row. Empty when the sizes do not match or compression fails.
std::string EncodeRgbPng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace standin
