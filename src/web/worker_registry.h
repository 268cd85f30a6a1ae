#pragma once
// What a WebAccess call shares with its worker thread, and the list of live
// workers that lets the exit path cancel and join every one of them.

#include <atomic>
#include <memory>

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

// Runs RequestWorker on share's buffer on a new thread, kept in the list of
// live workers; signals share's end when done. False when no thread could be
// started (its end then never comes).
bool StartWorker(const std::shared_ptr<WorkerShare>& share);

// Joins the worker of share once its caller is done with it; returns at once
// when it was joined already (CancelAndJoinWorkers ran meanwhile).
void JoinWorker(const WorkerShare& share);

// Sets the worker's cancel flag and leaves it to end on its own; a later call
// joins it once it has ended.
void AbandonWorker(WorkerShare& share);

// Joins every abandoned worker that has already ended; the others stay kept.
void ReapEndedWorkers();

}  // namespace web
