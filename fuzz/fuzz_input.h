#pragma once
// Splits one fuzzer input into the several values a target needs.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

struct Input {
  const uint8_t* data;
  size_t size;

  bool empty() const { return size == 0; }

  uint8_t byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }

  // A piece whose length is given by the next byte; at most what is left.
  std::string piece() {
    size_t n = byte();
    if (n > size) n = size;
    std::string out(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return out;
  }

  std::string rest() {
    std::string out(reinterpret_cast<const char*>(data), size);
    data += size;
    size = 0;
    return out;
  }
};

// Text holds no NUL byte: cut at the first one, as the program does.
inline std::string AsText(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

}  // namespace fuzz
