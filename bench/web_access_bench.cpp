// Prints what WebAccess costs over a bare libcurl request, and how soon a
// call returns once its worker has ended, on the Qt event loop.
//
// The worker's end is timestamped by wrapping platform::SignalWorkerEnded at
// link time (--wrap), so the measured span runs from the worker's very last
// step to the moment WebAccess hands back its result.

#include <curl/curl.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/loopback_server.h"
#include "web/record.h"
#include "web/request_worker.h"
#include "web/web_access.h"

using Clock = std::chrono::steady_clock;

namespace {

std::atomic<Clock::rep> workerEndedAt{0};

constexpr int kWarmUp = 20;
constexpr int kRuns = 300;
constexpr int kWakeRuns = 200;
constexpr double kTargetRatio = 1.5;
constexpr double kTargetWakeMs = 1.0;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// The plainest request libcurl can make: a fresh easy handle, the URL, a sink.
std::string BareCurlGet(const std::string& url) {
  std::string body;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return body;
}

std::string WebAccessGet(const std::string& address) {
  std::string url = address;
  return web::WebAccess(url, {.timeoutSeconds = 10}).data;
}

// The exchange alone, on the calling thread: what WebAccess adds beyond it is
// the thread and the wait.
std::string WorkerOnThisThread(const std::string& url) {
  web::RequestRecord record;
  record.slots[0] = text::toBytes(url);
  record.slots[1] = text::toBytes("GET");
  record.slots[6] = text::toBytes(text::toText(true));
  web::RecordBuffer buffer;
  web::WriteRecord(buffer, record);
  const std::atomic<bool> cancel{false};
  web::RequestWorker(buffer, cancel);
  const auto slots = web::ReadRecord(buffer);
  return slots && !slots->empty() ? slots->front().data : std::string();
}

const char* Verdict(bool met) {
  return met ? "meets target" : "MISSES target";
}

}  // namespace

extern "C" void __real__ZN8platform17SignalWorkerEndedERNS_9WorkerEndE(platform::WorkerEnd&);
extern "C" void __wrap__ZN8platform17SignalWorkerEndedERNS_9WorkerEndE(platform::WorkerEnd& end) {
  workerEndedAt = Clock::now().time_since_epoch().count();
  __real__ZN8platform17SignalWorkerEndedERNS_9WorkerEndE(end);
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string body(1024, 'x');
  testsupport::LoopbackServer server([&body](const testsupport::ReceivedRequest&) {
    return testsupport::Reply{.raw = testsupport::HttpReply(200, {}, body)};
  });
  const std::string url = server.url("/kib");

  // Both sides take turns so that drift of the machine hits them alike.
  std::vector<double> viaWebAccess, viaCurl, viaWorker, threadOnly;
  for (int i = 0; i < kWarmUp + kRuns; ++i) {
    auto start = Clock::now();
    const bool webOk = WebAccessGet(url) == body;
    const double webMs = MillisecondsSince(start);
    start = Clock::now();
    const bool curlOk = BareCurlGet(url) == body;
    const double curlMs = MillisecondsSince(start);
    start = Clock::now();
    const bool workerOk = WorkerOnThisThread(url) == body;
    const double workerMs = MillisecondsSince(start);
    start = Clock::now();
    std::thread([] {}).join();
    const double threadMs = MillisecondsSince(start);
    if (!webOk || !curlOk || !workerOk) {
      std::fprintf(stderr, "a request failed (WebAccess %d, curl %d, worker %d)\n", webOk, curlOk,
                   workerOk);
      return 1;
    }
    if (i < kWarmUp) continue;
    viaWebAccess.push_back(webMs);
    viaCurl.push_back(curlMs);
    viaWorker.push_back(workerMs);
    threadOnly.push_back(threadMs);
  }
  const double ratio = Median(viaWebAccess) / Median(viaCurl);
  std::printf("GET of 1 KiB over loopback, median of %d:\n", kRuns);
  std::printf("  WebAccess          %8.3f ms\n", Median(viaWebAccess));
  std::printf("  bare libcurl       %8.3f ms\n", Median(viaCurl));
  std::printf("  ratio              %8.3f  (target <= %.1f: %s)\n", ratio, kTargetRatio,
              Verdict(ratio <= kTargetRatio));
  std::printf("  of which, for reference:\n");
  std::printf("    RequestWorker on the calling thread  %8.3f ms\n", Median(viaWorker));
  std::printf("    empty std::thread start and join     %8.3f ms\n", Median(threadOnly));

  std::vector<double> wake;
  for (int i = 0; i < kWakeRuns; ++i) {
    workerEndedAt = 0;
    WebAccessGet(url);
    const auto returned = Clock::now().time_since_epoch().count();
    const Clock::rep ended = workerEndedAt;
    if (ended == 0) {
      std::fprintf(stderr, "the worker's end was not seen\n");
      return 1;
    }
    wake.push_back(
        std::chrono::duration<double, std::milli>(Clock::duration(returned - ended)).count());
  }
  const double wakeMedian = Median(wake);
  std::sort(wake.begin(), wake.end());
  std::printf("Worker's end to WebAccess returning (Qt wait), %d calls:\n", kWakeRuns);
  std::printf("  median             %8.3f ms  (target <= %.1f ms: %s)\n", wakeMedian, kTargetWakeMs,
              Verdict(wakeMedian <= kTargetWakeMs));
  std::printf("  90th percentile    %8.3f ms\n", wake[wake.size() * 9 / 10]);
  std::printf("  worst              %8.3f ms\n", wake.back());
  return 0;
}
