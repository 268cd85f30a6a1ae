#pragma once
// What a WebAccess call shares with its worker thread, and the list of workers
// that outlived their call.

#include <atomic>
#include <memory>
#include <thread>

#include "platform/platform.h"
#include "web/record.h"

namespace web {

// Co-owned by the call and its worker, so a worker abandoned at the time-out
// still writes into a buffer that exists, and never into the caller's result.
struct WorkerShare {
  RecordBuffer buffer;
  std::atomic<bool> cancel{false};
  platform::WorkerEnd end;
};

// Takes over a worker whose call has given up on it: sets its cancel flag and
// keeps its thread until it has ended. Joins, on the way, every kept worker
// that has already ended.
void AbandonWorker(std::thread worker, std::shared_ptr<WorkerShare> share);

// Joins every kept worker that has already ended; the others stay kept.
void ReapEndedWorkers();

}  // namespace web
