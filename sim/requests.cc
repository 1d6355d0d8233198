// The framework's request service as the plugin and the tests reach it, over the platform's
// transport.
#include "sim/request_book.h"
#include "sim/sim_control.h"

namespace sim {

void SetRequestOptions(const RequestOptions& options) { TheRequestBook().SetOptions(options); }
RequestStats GetRequestStats() { return TheRequestBook().Stats(); }
bool DrainRequests(std::chrono::milliseconds timeout) { return TheRequestBook().Drain(timeout); }
void CancelRequests() { CancelAllRequests(); }

}  // namespace sim

API::Requests& API::Requests::Get() {
  static Requests requests;
  return requests;
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& body, const std::string& content_type,
                                      std::vector<std::string> headers) {
  return sim::PostRequest(
      {url, body, content_type, std::move(headers), callback, sim::RequestClock::time_point{}});
}
