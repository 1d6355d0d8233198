// The framework's request service: each POST handed to the world's service for the module that
// called (told by where the call came from; refused when none can be told), its result delivered
// on the game thread during a later frame, and dropped when that module unloads.
#include "sim/framework/framework.h"

class API::Requests::impl {};

API::Requests::Requests() : pimpl(std::make_unique<impl>()) {}
API::Requests::~Requests() = default;

API::Requests& API::Requests::Get() {
  static auto* requests = new Requests();
  return *requests;
}

void API::Requests::UnregisterCallbacksForModule(HMODULE pluginModule) {
  sim::face::DropRequestCallbacks(pluginModule);
}

namespace {

using Callback =
    std::function<void(bool, std::string, std::unordered_map<std::string, std::string>)>;

// The framework's content type when none is given.
constexpr char kFormContentType[] = "application/x-www-form-urlencoded";

// The world's service tells the module from `caller`, and refuses a call from none.
bool Post(void* caller, const std::string& url, const Callback& callback, const std::string& body,
          const std::string& content_type, std::vector<std::string> headers, long connect_timeout,
          long receive_timeout) {
  return sim::face::Post(caller, url, callback, body, content_type, std::move(headers),
                         connect_timeout, receive_timeout);
}

}  // namespace

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& post_data,
                                      std::vector<std::string> headers) {
  return Post(_ReturnAddress(), url, callback, post_data, kFormContentType, std::move(headers), 0,
              0);
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& post_data,
                                      std::vector<std::string> headers, long connectionTimeout,
                                      long receiveTimeout, long /*sendTimeout*/) {
  return Post(_ReturnAddress(), url, callback, post_data, kFormContentType, std::move(headers),
              connectionTimeout, receiveTimeout);
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& post_data, const std::string& content_type,
                                      std::vector<std::string> headers) {
  return Post(_ReturnAddress(), url, callback, post_data, content_type, std::move(headers), 0, 0);
}

bool API::Requests::CreatePostRequest(const std::string& url, const Callback& callback,
                                      const std::string& post_data, const std::string& content_type,
                                      std::vector<std::string> headers, long connectionTimeout,
                                      long receiveTimeout, long /*sendTimeout*/) {
  return Post(_ReturnAddress(), url, callback, post_data, content_type, std::move(headers),
              connectionTimeout, receiveTimeout);
}
