#include "web/record.h"

#include <cstdint>

namespace web {
namespace {

// Layout: the tag, a slot count, then each slot as its length and its bytes.
// Numbers are 8 bytes, least significant first.
constexpr char kTag[4] = {'R', 'R', 'E', 'C'};
constexpr size_t kNumberSize = 8;

void PutNumber(std::string& out, uint64_t value) {
  for (size_t i = 0; i < kNumberSize; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// Reads a number at pos and advances it; false when the buffer ends first.
bool TakeNumber(const std::string& in, size_t& pos, uint64_t& value) {
  if (in.size() - pos < kNumberSize) return false;
  value = 0;
  for (size_t i = 0; i < kNumberSize; ++i) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(in[pos + i])) << (8 * i);
  }
  pos += kNumberSize;
  return true;
}

}  // namespace

void WriteRecord(RecordBuffer& buffer, const RequestRecord& record) {
  std::string out(kTag, sizeof kTag);
  PutNumber(out, record.slots.size());
  for (const text::Bytes& slot : record.slots) {
    PutNumber(out, slot.data.size());
    out += slot.data;
  }
  buffer.bytes = std::move(out);
}

std::optional<std::vector<text::Bytes>> ReadRecord(const RecordBuffer& buffer) {
  const std::string& in = buffer.bytes;
  if (in.compare(0, sizeof kTag, kTag, sizeof kTag) != 0) return std::nullopt;
  size_t pos = sizeof kTag;
  uint64_t count = 0;
  // Each slot takes at least its length field, which bounds a forged count.
  if (!TakeNumber(in, pos, count) || count > (in.size() - pos) / kNumberSize) return std::nullopt;
  std::vector<text::Bytes> slots;
  slots.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t size = 0;
    if (!TakeNumber(in, pos, size) || size > in.size() - pos) return std::nullopt;
    slots.push_back(text::Bytes{in.substr(pos, size)});
    pos += size;
  }
  return slots;
}

}  // namespace web
