#include "web/worker_registry.h"

#include <mutex>
#include <utility>
#include <vector>

#include "web/web_access.h"

namespace web {
namespace {

struct AbandonedWorker {
  std::thread thread;
  std::shared_ptr<WorkerShare> share;
};

bool HasEnded(WorkerShare& share) {
  std::lock_guard lock(share.end.mutex);
  return share.end.ended;
}

void CancelAndJoin(std::vector<AbandonedWorker>& workers) {
  for (AbandonedWorker& worker : workers) worker.share->cancel = true;
  for (AbandonedWorker& worker : workers) worker.thread.join();
}

// Static lifetime: its destructor joins whatever is still kept when the
// process ends, so no joinable thread is ever destroyed.
struct Registry {
  std::mutex mutex;
  std::vector<AbandonedWorker> workers;

  ~Registry() { CancelAndJoin(workers); }
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Moves the kept workers that have ended out of the registry, leaving the rest.
std::vector<AbandonedWorker> TakeEnded(Registry& registry) {
  std::vector<AbandonedWorker> ended;
  std::lock_guard lock(registry.mutex);
  auto& workers = registry.workers;
  for (auto it = workers.begin(); it != workers.end();) {
    if (HasEnded(*it->share)) {
      ended.push_back(std::move(*it));
      it = workers.erase(it);
    } else {
      ++it;
    }
  }
  return ended;
}

}  // namespace

void AbandonWorker(std::thread worker, std::shared_ptr<WorkerShare> share) {
  share->cancel = true;
  Registry& registry = TheRegistry();
  {
    std::lock_guard lock(registry.mutex);
    registry.workers.push_back({std::move(worker), std::move(share)});
  }
  ReapEndedWorkers();
}

void ReapEndedWorkers() {
  std::vector<AbandonedWorker> ended = TakeEnded(TheRegistry());
  // An ended worker has only its return left to do, so these joins are short.
  for (AbandonedWorker& worker : ended) worker.thread.join();
}

void CancelAndJoinWorkers() {
  std::vector<AbandonedWorker> workers;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    workers.swap(registry.workers);
  }
  CancelAndJoin(workers);
}

}  // namespace web
