// The request record reads back exactly what was written; any other buffer
// content reads as a whole record or as none, never out of bounds.
#include <cstdlib>

#include "fuzz_input.h"
#include "web/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const bool roundTrip = in.byte() & 1;
  if (!roundTrip) {
    web::ReadRecord(web::RecordBuffer{in.rest()});
    return 0;
  }
  web::RequestRecord record;
  for (auto& slot : record.slots) slot.data = in.piece();
  web::RecordBuffer buffer;
  web::WriteRecord(buffer, record);
  const auto back = web::ReadRecord(buffer);
  if (!back || back->size() != record.slots.size()) std::abort();
  for (size_t i = 0; i < record.slots.size(); ++i)
    if (!((*back)[i] == record.slots[i])) std::abort();
  return 0;
}
