// The simulated host's request service, held to the framework's contract: success is a 2xx
// status, the text is the body for 200 and "<code> <reason>" otherwise, hand-over never waits,
// and a callback is gone before the service reports that nothing is pending.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <nlohmann/json.hpp>

#include "support/host_support.h"
#include "support/webhook_receiver.h"

namespace {

using quillmark::testing::WebhookReceiver;

struct Outcome {
  bool success = false;
  std::string text;
};

class RequestsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    receiver_.ReleaseHeld();
    EXPECT_TRUE(sim::DrainRequests(std::chrono::seconds(15)));
    sim::SetRequestOptions({});
  }
  std::future<Outcome> Post(const std::string& url, const std::string& body) {
    auto promise = std::make_shared<std::promise<Outcome>>();
    auto future = promise->get_future();
    const bool handed = API::Requests::Get().CreatePostRequest(
        url,
        [promise](bool success, std::string text, auto) {
          promise->set_value({success, std::move(text)});
        },
        body, "application/json");
    EXPECT_TRUE(handed);
    return future;
  }
  static std::string Valid() {
    return R"({"embeds": [{"title": "t", "description": "d", "color": 1}], "username": "u"})";
  }
  WebhookReceiver receiver_;
};

TEST_F(RequestsTest, NoContentIsSuccessWithTheStatusText) {
  const Outcome outcome = Post(receiver_.Url(), Valid()).get();
  EXPECT_TRUE(outcome.success);
  EXPECT_EQ(outcome.text, "204 No Content");
}

TEST_F(RequestsTest, OkPassesTheBody) {
  const Outcome outcome = Post(receiver_.Url() + "?wait=true", Valid()).get();
  EXPECT_TRUE(outcome.success);
  EXPECT_EQ(nlohmann::json::parse(outcome.text)["id"], "1000000") << outcome.text;
}

TEST_F(RequestsTest, RefusalIsFailureWithCodeAndReason) {
  const Outcome outcome = Post(receiver_.Url(), "{not json").get();
  EXPECT_FALSE(outcome.success);
  EXPECT_EQ(outcome.text, "400 Bad Request");
  const Outcome unknown =
      Post("http://127.0.0.1:" + std::to_string(receiver_.Port()) + "/elsewhere", Valid()).get();
  EXPECT_EQ(unknown.text, "404 Not Found");
}

TEST_F(RequestsTest, FullQueueRefusesTheHandOverAndCountsIt) {
  sim::SetRequestOptions({.queue_capacity = 1});
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  const auto before = sim::GetRequestStats();
  auto held = Post(receiver_.Url(), Valid());
  const bool second = API::Requests::Get().CreatePostRequest(
      receiver_.Url(), [](bool, std::string, auto) {}, Valid(), "application/json");
  EXPECT_FALSE(second);
  EXPECT_EQ(sim::GetRequestStats().dropped, before.dropped + 1);
  ASSERT_TRUE(receiver_.WaitForRequests(1, std::chrono::seconds(10)));
  receiver_.ReleaseHeld();
  EXPECT_TRUE(held.get().success);
}

TEST_F(RequestsTest, CancelEndsPendingRequestsWithAFailure) {
  sim::SetRequestOptions({.delay = std::chrono::milliseconds(60000)});
  auto pending = Post(receiver_.Url(), Valid());
  sim::CancelRequests();
  const Outcome outcome = pending.get();
  EXPECT_FALSE(outcome.success);
  EXPECT_EQ(outcome.text, "cancelled");
  EXPECT_TRUE(receiver_.Requests().empty());
}

// The callback's code may belong to a plugin that is unloaded as soon as nothing is pending.
TEST_F(RequestsTest, CallbackIsDestroyedBeforeNothingIsPending) {
  for (int i = 0; i < 20; ++i) {
    auto destroyed = std::make_shared<std::atomic<bool>>(false);
    struct Sentinel {
      std::shared_ptr<std::atomic<bool>> flag;
      ~Sentinel() { *flag = true; }
    };
    auto sentinel = std::make_shared<Sentinel>(Sentinel{destroyed});
    ASSERT_TRUE(API::Requests::Get().CreatePostRequest(
        receiver_.Url(), [sentinel](bool, std::string, auto) {}, Valid(), "application/json"));
    sentinel.reset();
    ASSERT_TRUE(sim::DrainRequests(std::chrono::seconds(10)));
    EXPECT_TRUE(*destroyed) << i;
  }
}

}  // namespace
