// A transport for the delivery queues that keeps every post for the test to answer, and a clock
// the test moves by hand: delivery driven without a network or a wait.
#pragma once

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "notify/delivery.h"

namespace quillmark::testing {

class FakeTransport final : public PostTransport {
 public:
  struct Sent {
    std::string url;
    std::string body;
    std::function<void(PostResult)> done;
    bool answered = false;
  };

  bool Post(const std::string& url, const std::string& body,
            std::function<void(PostResult)> done) override {
    if (refuse_) return false;
    posts_.push_back({url, body, std::move(done)});
    if (throw_)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return true;
  }
  void Refuse(bool refuse) { refuse_ = refuse; }
  // Takes each post and its callback, then throws, as the framework's service does when it
  // cannot start the request's thread.
  void ThrowAfterTaking(bool fail) { throw_ = fail; }

  std::vector<Sent>& Posts() { return posts_; }
  // The post not yet answered, if there is exactly one (one per webhook is in flight).
  Sent* Open() {
    Sent* open = nullptr;
    for (Sent& post : posts_) {
      if (!post.answered) {
        if (open != nullptr) return nullptr;
        open = &post;
      }
    }
    return open;
  }
  // Answers the open post with a status ("204 No Content", "" for no answer) and headers.
  void Answer(const std::string& status,
              std::unordered_map<std::string, std::string> headers = {}) {
    Sent* post = Open();
    if (post == nullptr) return;
    post->answered = true;
    const bool success = status.rfind('2', 0) == 0;
    post->done({success, status, std::move(headers)});
  }
  // The descriptions of the embeds of post `index`.
  std::vector<std::string> Descriptions(std::size_t index) const {
    std::vector<std::string> out;
    const nlohmann::json body = nlohmann::json::parse(posts_.at(index).body);
    for (const auto& embed : body["embeds"]) {
      out.push_back(embed["description"]);
    }
    return out;
  }

 private:
  std::vector<Sent> posts_;
  bool refuse_ = false;
  bool throw_ = false;
};

// A clock that moves only when told.
class ManualClock {
 public:
  DeliveryClock::time_point Now() const { return now_; }
  void Advance(std::chrono::milliseconds by) { now_ += by; }
  Delivery::Clock Function() {
    return [this] { return now_; };
  }

 private:
  DeliveryClock::time_point now_{std::chrono::hours(1000)};
};

}  // namespace quillmark::testing
