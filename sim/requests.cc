// The framework's request service as the plugin and the tests reach it, over the platform's
// transport.
#include "sim/request_book.h"
#include "sim/sim_control.h"

namespace sim {

void SetRequestOptions(const RequestOptions& options) { TheTransport().Book().SetOptions(options); }
RequestStats GetRequestStats() { return TheTransport().Book().Stats(); }
bool DrainRequests(std::chrono::milliseconds timeout) {
  return TheTransport().Book().Drain(timeout);
}
void CancelRequests() { TheTransport().Cancel(); }

}  // namespace sim

API::Requests& API::Requests::Get() {
  static Requests requests;
  return requests;
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& body, const std::string& content_type,
                                      std::vector<std::string> headers) {
  return sim::TheTransport().Post(
      {url, body, content_type, std::move(headers), callback, sim::RequestClock::time_point{}});
}
