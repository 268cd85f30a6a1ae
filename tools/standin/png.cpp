#include "png.h"

#include <zlib.h>

namespace standin {
namespace {

void PutBigEndian32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char type[4], const std::string& data) {
  PutBigEndian32(out, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian32(
      out, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

}  // namespace

std::string EncodeRgbPng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() != static_cast<std::size_t>(width) * height * 3) {
    return {};
  }
  // Every row is stored with filter type 0 (none) in front of its pixels.
  std::string raw;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(rgb.data()) + y * rowBytes, rowBytes);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
               reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK) {
    return {};
  }
  packed.resize(packedSize);

  std::string header;
  PutBigEndian32(header, static_cast<std::uint32_t>(width));
  PutBigEndian32(header, static_cast<std::uint32_t>(height));
  header +=
      std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace

  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace standin
