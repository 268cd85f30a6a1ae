#pragma once
// The request record that a caller and its worker thread exchange through an
// in-memory buffer.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "text/text.h"

namespace web {

// Seven byte slots, numbered 1 to 7 (index 0 to 6). Filled by the caller:
// URL, method, proxy, extra header lines, data to post, cookies to send,
// redirect permission ("真"/"假"). Written back by the worker: body, cookies
// set by the response, raw response headers (slots 1, 2 and 6).
struct RequestRecord {
  std::array<text::Bytes, 7> slots;
};

// The in-memory buffer the record travels in. Its format is private to
// WriteRecord and ReadRecord.
struct RecordBuffer {
  std::string bytes;
};

// Replaces the buffer's content with the record.
void WriteRecord(RecordBuffer& buffer, const RequestRecord& record);

// The slots read back from the start of the buffer, exactly as written (NUL
// bytes included); std::nullopt when the buffer does not hold a whole record.
std::optional<std::vector<text::Bytes>> ReadRecord(const RecordBuffer& buffer);

}  // namespace web
