// The framework's request service as the plugin and the tests reach it, over the platform's
// transport. As in the framework, the module that hands a request over is told by where the call
// came from; the service refuses a hand-over only when it cannot tell.
#include "sim/request_book.h"
#include "sim/sim_control.h"

namespace sim {

void SetRequestOptions(const RequestOptions& options) { TheTransport().Book().SetOptions(options); }
RequestStats GetRequestStats() { return TheTransport().Book().Stats(); }
std::int64_t PendingRequests() { return TheTransport().Book().Pending(); }
bool DrainRequests(std::chrono::milliseconds timeout) {
  RequestBook& book = TheTransport().Book();
  return RunFramesUntil([&book] { return book.Idle(); }, timeout);
}
void CancelRequests() { TheTransport().Cancel(); }
void DeliverRequestResults() { TheTransport().Book().DeliverResults(); }

namespace {

// As the framework's service does when it is first used: its own tick callback, which runs the
// callbacks of the results that have arrived, registered after those of the plugins loaded
// before that use, so that a result reaches them a frame after it was run. Game thread.
void RegisterServiceTick() {
  static const bool registered = [] {
    AddTickCallbackOf(ModuleOf(reinterpret_cast<const void*>(&FrameworkConsoleCommand)),
                      FString(HOST_TEXT("RequestsUpdate")), [](float) { DeliverRequestResults(); });
    return true;
  }();
  (void)registered;
}

}  // namespace
void DropRequestCallbacksOfModule(void* module) { TheTransport().Book().DropModule(module); }

bool PostFor(const void* caller, const std::string& url, const API::Requests::Callback& callback,
             const std::string& body, const std::string& content_type,
             std::vector<std::string> headers, long connect_seconds, long receive_seconds) {
  void* module = ModuleOf(caller);
  if (module == nullptr) {
    FrameworkLog(kLogError, "Failed to get module handle for caller of CreatePostRequest.");
    return false;
  }
  RegisterServiceTick();
  PendingRequest request;
  request.url = url;
  request.body = body;
  request.content_type = content_type;
  request.headers = std::move(headers);
  return TheTransport().Post(std::move(request), callback, module, connect_seconds,
                             receive_seconds);
}

}  // namespace sim

API::Requests& API::Requests::Get() {
  static Requests requests;
  return requests;
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& body, const std::string& content_type,
                                      std::vector<std::string> headers) {
  return sim::PostFor(__builtin_return_address(0), url, callback, body, content_type,
                      std::move(headers), 0, 0);
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& body, const std::string& content_type,
                                      std::vector<std::string> headers, long connect_timeout,
                                      long receive_timeout, long /*send_timeout*/) {
  return sim::PostFor(__builtin_return_address(0), url, callback, body, content_type,
                      std::move(headers), connect_timeout, receive_timeout);
}
