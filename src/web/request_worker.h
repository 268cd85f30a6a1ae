#pragma once

#include <atomic>

#include "web/record.h"

namespace web {

// Performs the one HTTP exchange described by the record in buffer and writes
// the results back into it. Runs on a worker thread; touches nothing but the
// buffer. Setting cancel from another thread aborts the exchange promptly; the
// record then holds what was received so far.
void RequestWorker(RecordBuffer& buffer, const std::atomic<bool>& cancel);

}  // namespace web
