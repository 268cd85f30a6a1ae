#include "web/web_access.h"

#include <chrono>
#include <memory>

#include "platform/platform.h"
#include "text/codepage.h"
#include "web/http.h"
#include "web/record.h"
#include "web/worker_registry.h"

namespace web {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultTimeoutSeconds = 60;
constexpr int kSlotCount = 7;

RequestRecord BuildRecord(const text::Text& url, const WebAccessOptions& options) {
  RequestRecord record;
  record.slots[0] = text::toBytes(url);
  record.slots[1] = text::toBytes(options.method == 1 ? "POST" : "GET");
  record.slots[2] = text::toBytes(options.proxy.value_or(text::Text{}));
  record.slots[3] = text::toBytes(options.headers.value_or(text::Text{}));
  record.slots[4] = options.postData.value_or(text::Bytes{});
  record.slots[5] = text::toBytes(options.cookies.value_or(text::Text{}));
  record.slots[6] = text::toBytes(text::toText(options.allowRedirect.value_or(true)));
  return record;
}

// Waits for the worker's end while window events keep running. Each wait gets
// only the time left until the limit, so late events cannot stretch the call.
// True when the call has run out of time, even if the worker has ended too.
bool WaitOutWorker(platform::WorkerEnd& end, Clock::time_point start,
                   std::chrono::milliseconds limit) {
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - (Clock::now() - start));
    if (left.count() < 0) left = std::chrono::milliseconds{0};
    platform::WakeReason reason = platform::WaitForWorkerOrEvent(end, left);
    bool timedOut = Clock::now() - start >= limit || reason == platform::WakeReason::TimedOut;
    platform::DispatchPendingEvents();
    if (timedOut) return true;
    if (reason == platform::WakeReason::WorkerEnded) return false;
  }
}

text::Bytes ConvertBody(const text::Bytes& body, std::optional<int> encoding) {
  if (encoding == 1) return text::toBytes(text::Utf8ToGbk(text::toText(body)));
  if (encoding == 2) return text::toBytes(text::Big5ToSimplifiedGbk(text::toText(body)));
  return body;
}

}  // namespace

const text::Text& TimeoutText() {
  static const text::Text kText = text::Utf8ToGbk(
      "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些"
      "。");
  return kText;
}

text::Bytes WebAccess(text::Text& url, const WebAccessOptions& options) {
  if (text::trim(url).empty()) return {};
  if (!url.starts_with("http://") && !url.starts_with("https://")) url = "http://" + url;

  // Before the first worker starts: libcurl's global set-up is not thread-safe.
  http::GlobalInit();
  ReapEndedWorkers();

  auto share = std::make_shared<WorkerShare>();
  WriteRecord(share->buffer, BuildRecord(url, options));

  const Clock::time_point start = Clock::now();
  // A worker that could not start never ends: the wait then runs to the limit
  // while window events keep running.
  StartWorker(share);
  const std::chrono::milliseconds limit{
      static_cast<long long>(options.timeoutSeconds.value_or(kDefaultTimeoutSeconds)) * 1000};

  if (WaitOutWorker(share->end, start, limit)) {
    AbandonWorker(*share);
    return text::toBytes(TimeoutText());
  }
  JoinWorker(*share);

  std::optional<std::vector<text::Bytes>> slots = ReadRecord(share->buffer);
  if (!slots || slots->empty()) return {};
  if (slots->size() != kSlotCount) return slots->front();
  if (options.responseHeadersOut) *options.responseHeadersOut = text::toText((*slots)[5]);
  if (options.cookiesOut) *options.cookiesOut = text::toText((*slots)[1]);
  return ConvertBody((*slots)[0], options.encoding);
}

}  // namespace web
