// The simulated host's request service, held to the framework's contract: success is a 2xx
// status, the text is the body for 200, "<code> <reason>" otherwise and empty for a transport
// failure (whose reason the framework logs); hand-over never waits; callbacks run on the game
// thread during a later frame (or, as a test option, on the service's thread); and a callback is
// gone before the service reports that nothing is pending.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "support/host_support.h"
#include "support/recording_sink.h"
#include "tools/webhook_receiver.h"

namespace {

using quillmark::testing::RecordingSink;
using quillmark::tools::WebhookReceiver;

struct Outcome {
  bool success = false;
  std::string text;
  std::thread::id thread;
  std::size_t headers = 0;
};

// The outcome of one post, filled in by its callback on whatever thread runs it. (<future>
// is not part of every standard library the tests are built with.)
class Answer {
 public:
  void Set(Outcome outcome) {
    std::lock_guard lock(mutex_);
    outcome_ = std::move(outcome);
    arrived_.notify_all();
  }
  bool Ready() const {
    std::lock_guard lock(mutex_);
    return outcome_.has_value();
  }
  bool WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [this] { return outcome_.has_value(); });
  }
  Outcome Get() const {
    std::lock_guard lock(mutex_);
    return outcome_.value_or(Outcome{});
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::optional<Outcome> outcome_;
};
using Pending = std::shared_ptr<Answer>;

class RequestsTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::SetLogSinks({sink_}); }
  void TearDown() override {
    receiver_.ReleaseHeld();
    EXPECT_TRUE(sim::DrainRequests(std::chrono::seconds(15)));
    sim::SetRequestOptions({});
    sim::UseConsoleLogSink();
  }
  Pending Post(const std::string& url, const std::string& body, long timeout_seconds = 0) {
    auto answer = std::make_shared<Answer>();
    const API::Requests::Callback callback = [answer](bool success, std::string text,
                                                      auto headers) {
      answer->Set({success, std::move(text), std::this_thread::get_id(), headers.size()});
    };
    const bool handed =
        timeout_seconds == 0
            ? API::Requests::Get().CreatePostRequest(url, callback, body, "application/json")
            : API::Requests::Get().CreatePostRequest(url, callback, body, "application/json", {},
                                                     timeout_seconds, timeout_seconds,
                                                     timeout_seconds);
    EXPECT_TRUE(handed);
    return answer;
  }
  // Runs frames until the callback has run.
  static Outcome Await(const Pending& answer) {
    EXPECT_TRUE(
        sim::RunFramesUntil([&answer] { return answer->Ready(); }, std::chrono::seconds(20)));
    return answer->Get();
  }
  static std::string Valid() {
    return R"({"embeds": [{"title": "t", "description": "d", "color": 1}], "username": "u"})";
  }
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  WebhookReceiver receiver_;
};

TEST_F(RequestsTest, StatusesAndTexts) {
  const Outcome no_content = Await(Post(receiver_.Url(), Valid()));
  EXPECT_TRUE(no_content.success);
  EXPECT_EQ(no_content.text, "204 No Content");
  const Outcome ok = Await(Post(receiver_.Url() + "?wait=true", Valid()));
  EXPECT_TRUE(ok.success);
  EXPECT_EQ(nlohmann::json::parse(ok.text)["id"], "1000001") << ok.text;
  const Outcome refused = Await(Post(receiver_.Url(), "{not json"));
  EXPECT_FALSE(refused.success);
  EXPECT_EQ(refused.text, "400 Bad Request");
  const Outcome unknown =
      Await(Post("http://127.0.0.1:" + std::to_string(receiver_.Port()) + "/elsewhere", Valid()));
  EXPECT_EQ(unknown.text, "404 Not Found");
  EXPECT_TRUE(sink_->FrameworkMessages().empty());
}

// What a plugin's tick callback, registered before the service's first use, saw of the answer
// in each frame: the service's own tick callback runs after it.
struct EarlyTick {
  std::mutex mutex;
  std::function<bool()> probe;
  std::vector<bool> seen;
};
EarlyTick& TheEarlyTick() {
  static EarlyTick early;
  return early;
}
const bool early_tick_registered = [] {
  AsaApi::GetCommands().AddOnTickCallback(FString(HOST_TEXT("early")), [](float) {
    EarlyTick& early = TheEarlyTick();
    std::lock_guard lock(early.mutex);
    if (early.probe) early.seen.push_back(early.probe());
  });
  return true;
}();

TEST_F(RequestsTest, ResultsReachATickCallbackRegisteredFirstAFrameLater) {
  ASSERT_TRUE(early_tick_registered);
  const Pending answer = Post(receiver_.Url(), Valid());
  {
    std::lock_guard lock(TheEarlyTick().mutex);
    TheEarlyTick().probe = [answer] { return answer->Ready(); };
  }
  ASSERT_TRUE(receiver_.WaitForRequests(1, std::chrono::seconds(10)));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  sim::Tick();
  EXPECT_TRUE(answer->Ready());  // run during this frame, after the early callback
  sim::Tick();
  std::lock_guard lock(TheEarlyTick().mutex);
  EXPECT_EQ(TheEarlyTick().seen, (std::vector<bool>{false, true}));
  TheEarlyTick().probe = nullptr;
}

// Never redirected: a 3xx is a failure with its status, as a 4xx is.
TEST_F(RequestsTest, ARedirectIsAFailureWithItsStatus) {
  receiver_.SetFault(WebhookReceiver::Fault::kRedirect);
  const Outcome moved = Await(Post(receiver_.Url(), Valid()));
  EXPECT_FALSE(moved.success);
  EXPECT_EQ(moved.text, "301 Moved Permanently");
  EXPECT_EQ(receiver_.Requests().size(), 1u);  // and nothing sent where it pointed
}

// A status line, then the body cut short: success as the status says, no text, no headers.
TEST_F(RequestsTest, ABodyCutShortGivesTheStatusWithoutTextOrHeaders) {
  receiver_.SetFault(WebhookReceiver::Fault::kCutBody);
  const Outcome ok = Await(Post(receiver_.Url() + "?wait=true", Valid()));
  EXPECT_TRUE(ok.success);
  EXPECT_EQ(ok.text, "");
  EXPECT_EQ(ok.headers, 0u);
  receiver_.SetFault(WebhookReceiver::Fault::kCloseConnection);
  const Outcome failed = Await(Post(receiver_.Url(), Valid()));
  EXPECT_FALSE(failed.success);
  EXPECT_EQ(failed.text, "");
  EXPECT_EQ(failed.headers, 0u);
  EXPECT_EQ(sink_->FrameworkMessages().size(), 2u);  // the framework logs each
}

// Starting a request's thread can fail after the service took the callback.
TEST_F(RequestsTest, AHandOverThatThrowsMayStillCallBack) {
  sim::SetRequestOptions({.throw_after_handover = true});
  auto answer = std::make_shared<Answer>();
  EXPECT_THROW(API::Requests::Get().CreatePostRequest(
                   receiver_.Url(),
                   [answer](bool success, std::string text, auto) {
                     answer->Set({success, std::move(text), {}, 0});
                   },
                   Valid(), "application/json"),
               std::system_error);
  sim::SetRequestOptions({});
  EXPECT_TRUE(Await(answer).success);
}

// The framework lets what a callback throws into the game's tick; the stand-in ends the process
// too, saying why, so that a test sees it.
TEST_F(RequestsTest, ACallbackThatThrowsEndsTheServerVisibly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        API::Requests::Get().CreatePostRequest(
            receiver_.Url(), [](bool, std::string, auto) { throw std::runtime_error("oops"); },
            Valid(), "application/json");
        (void)sim::DrainRequests(std::chrono::seconds(10));
      },
      "a callback threw into the game's tick: oops");
}

TEST_F(RequestsTest, CallbacksRunOnTheGameThreadDuringAFrame) {
  const Pending answer = Post(receiver_.Url(), Valid());
  ASSERT_TRUE(receiver_.WaitForRequests(1, std::chrono::seconds(10)));
  // Answered, but no frame has run: the result waits for the game thread.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(answer->Ready());
  EXPECT_EQ(sim::PendingRequests(), 1);
  sim::Tick();
  ASSERT_TRUE(answer->Ready());
  EXPECT_EQ(answer->Get().thread, std::this_thread::get_id());
  EXPECT_EQ(sim::PendingRequests(), 0);
}

TEST_F(RequestsTest, DeliveryOnTheServicesThreadIsAnOption) {
  sim::SetRequestOptions({.deliver_on_worker = true});
  const Pending answer = Post(receiver_.Url(), Valid());
  ASSERT_TRUE(answer->WaitFor(std::chrono::seconds(10)));  // no frame
  EXPECT_NE(answer->Get().thread, std::this_thread::get_id());
}

TEST_F(RequestsTest, TransportFailureGivesAnEmptyTextAndTheFrameworkLogsWhy) {
  const Outcome refused = Await(Post(WebhookReceiver::RefusingUrl(), Valid()));
  EXPECT_FALSE(refused.success);
  EXPECT_EQ(refused.text, "");
  const auto logged = sink_->FrameworkMessages();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].rfind("error: HTTP request to '127.0.0.1' failed: ", 0), 0u) << logged[0];
  EXPECT_EQ(logged[0].find("token"), std::string::npos);  // the URL's path is never logged
}

TEST_F(RequestsTest, TimeOutsAskedForAreKept) {
  receiver_.SetFault(WebhookReceiver::Fault::kNeverAnswer);
  const auto start = std::chrono::steady_clock::now();
  const Outcome held = Await(Post(receiver_.Url(), Valid(), 1));
  EXPECT_FALSE(held.success);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_EQ(sink_->FrameworkMessages().size(), 1u);
  EXPECT_NE(sink_->FrameworkMessages()[0].find("timed out"), std::string::npos);
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
  EXPECT_TRUE(Await(held).success);
}

TEST_F(RequestsTest, CancelEndsRequestsInTransferAsFailures) {
  sim::SetRequestOptions({.delay = std::chrono::milliseconds(60000)});
  auto pending = Post(receiver_.Url(), Valid());
  sim::CancelRequests();
  const Outcome outcome = Await(pending);
  EXPECT_FALSE(outcome.success);
  EXPECT_EQ(outcome.text, "");
  EXPECT_TRUE(receiver_.Requests().empty());
}

// The callback's code may belong to a plugin that is unloaded as soon as nothing is pending.
TEST_F(RequestsTest, CallbackIsDestroyedBeforeNothingIsPending) {
  for (const bool on_worker : {false, true}) {
    sim::SetRequestOptions({.deliver_on_worker = on_worker});
    for (int i = 0; i < 10; ++i) {
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
}

}  // namespace
