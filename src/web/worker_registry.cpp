#include "web/worker_registry.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "web/request_worker.h"
#include "web/web_access.h"

namespace web {
namespace {

struct LiveWorker {
  std::thread thread;
  std::shared_ptr<WorkerShare> share;
  bool abandoned = false;
};

bool HasEnded(WorkerShare& share) {
  std::lock_guard lock(share.end.mutex);
  return share.end.ended;
}

void CancelAndJoin(std::vector<LiveWorker>& workers) {
  for (LiveWorker& worker : workers) worker.share->cancel = true;
  for (LiveWorker& worker : workers) worker.thread.join();
}

// Static lifetime: its destructor joins whatever is still kept when the
// process ends, so no joinable thread is ever destroyed.
struct Registry {
  std::mutex mutex;
  std::vector<LiveWorker> workers;

  ~Registry() { CancelAndJoin(workers); }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Moves the workers that match out of the registry, leaving the rest.
template <typename Match>
std::vector<LiveWorker> Take(Match match) {
  Registry& registry = TheRegistry();
  std::vector<LiveWorker> taken;
  std::lock_guard lock(registry.mutex);
  auto& workers = registry.workers;
  auto kept = std::stable_partition(workers.begin(), workers.end(),
                                    [&match](LiveWorker& w) { return !match(w); });
  std::move(kept, workers.end(), std::back_inserter(taken));
  workers.erase(kept, workers.end());
  return taken;
}

void Join(std::vector<LiveWorker>& workers) {
  for (LiveWorker& worker : workers) worker.thread.join();
}

}  // namespace

bool StartWorker(const std::shared_ptr<WorkerShare>& share) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  try {
    registry.workers.push_back({std::thread([share] {
                                  RequestWorker(share->buffer, share->cancel);
                                  platform::SignalWorkerEnded(share->end);
                                }),
                                share});
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void JoinWorker(const WorkerShare& share) {
  std::vector<LiveWorker> mine = Take([&share](LiveWorker& w) { return w.share.get() == &share; });
  Join(mine);
}

void AbandonWorker(WorkerShare& share) {
  share.cancel = true;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  for (LiveWorker& worker : registry.workers) {
    if (worker.share.get() == &share) worker.abandoned = true;
  }
}

void ReapEndedWorkers() {
  // An ended worker has only its return left to do, so these joins are short.
  std::vector<LiveWorker> ended =
      Take([](LiveWorker& w) { return w.abandoned && HasEnded(*w.share); });
  Join(ended);
}

void CancelAndJoinWorkers() {
  std::vector<LiveWorker> workers = Take([](LiveWorker&) { return true; });
  CancelAndJoin(workers);
}

}  // namespace web
