// The delivery queues, driven by hand: what is posted when, in which order and how batched, and
// what each kind of answer does to the queue, the counters and the log.
#include "notify/delivery.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/fake_transport.h"

namespace {

using namespace std::chrono_literals;
using quillmark::Delivery;
using quillmark::DeliveryOptions;
using quillmark::MakeEmbed;
using quillmark::Notification;
using quillmark::testing::FakeTransport;
using quillmark::testing::ManualClock;

constexpr char kHook[] = "https://discord.test/api/webhooks/1/t";
constexpr char kOtherHook[] = "https://discord.test/api/webhooks/2/t";

class DeliveryTest : public ::testing::Test {
 protected:
  void Make(DeliveryOptions options = {}) {
    delivery_ =
        std::make_unique<Delivery>(options, transport_, clock_.Function(),
                                   [this](const std::string& line) { lines_.push_back(line); });
  }
  void SetUp() override { Make(); }
  // Command number `n` of `sender`, its description naming it; error lines name it "P<n>".
  void Send(int n, const std::string& hook = kHook, std::size_t size = 0,
            const std::string& sender = "Mia") {
    std::string description = "Executed: say " + std::to_string(n);
    if (size > description.size()) description.append(size - description.size(), '.');
    delivery_->Enqueue(hook, "Audit",
                       {MakeEmbed(quillmark::kBlockedTitle, description, 1),
                        std::string("P").append(std::to_string(n)),
                        std::chrono::system_clock::now(), sender, sender});
  }
  // Answers the post in flight; the next frame takes the answer in.
  void Reply(const std::string& status, std::unordered_map<std::string, std::string> headers = {}) {
    transport_.Answer(status, std::move(headers));
    delivery_->Tick();
  }
  // Moves the clock and runs a frame.
  void After(std::chrono::milliseconds time) {
    clock_.Advance(time);
    delivery_->Tick();
  }
  std::size_t Posts() { return transport_.Posts().size(); }
  // The command numbers of post `index`'s embeds.
  std::vector<int> Numbers(std::size_t index) {
    std::vector<int> numbers;
    for (const std::string& d : transport_.Descriptions(index)) {
      numbers.push_back(std::atoi(d.c_str() + d.find("say ") + 4));
    }
    return numbers;
  }

  FakeTransport transport_;
  ManualClock clock_;
  std::vector<std::string> lines_;
  std::unique_ptr<Delivery> delivery_;
};

TEST_F(DeliveryTest, IdlePostsAtOnceWithTheBodyOfOneEmbed) {
  Send(1);
  ASSERT_EQ(Posts(), 1u);
  EXPECT_EQ(transport_.Posts()[0].url, kHook);
  EXPECT_EQ(
      transport_.Posts()[0].body,
      quillmark::DiscordBody(MakeEmbed(quillmark::kBlockedTitle, "Executed: say 1", 1), "Audit"));
  Reply("204 No Content");
  EXPECT_EQ(delivery_->Waiting(), 0u);
  EXPECT_EQ(delivery_->Counters().delivered, 1u);
  EXPECT_TRUE(lines_.empty());
}

// While a post is in flight and during the pace, notifications wait; then as many as fit go in
// one post, in order: ten embeds, and no more than 6000 characters together.
TEST_F(DeliveryTest, BacklogGoesOutInOrderInBatchesAtThePace) {
  for (int n = 1; n <= 14; ++n) Send(n);
  ASSERT_EQ(Posts(), 1u);
  Reply("204 No Content");
  After(1999ms);
  EXPECT_EQ(Posts(), 1u);  // 30 posts a minute: one every two seconds
  After(1ms);
  ASSERT_EQ(Posts(), 2u);
  EXPECT_EQ(Numbers(1), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  Reply("204 No Content");
  After(2s);
  EXPECT_EQ(Numbers(2), (std::vector<int>{12, 13, 14}));
  Reply("204 No Content");
  for (int n = 15; n <= 18; ++n) Send(n, kHook, 2500);  // two fit 6000 characters
  After(2s);
  EXPECT_EQ(Numbers(3), (std::vector<int>{15, 16}));
  EXPECT_EQ(delivery_->Counters().posts, 3u);
  EXPECT_EQ(delivery_->Counters().delivered, 14u);
}

TEST_F(DeliveryTest, AnEmptyBucketWaitsForItsReset) {
  Send(1);
  Reply("204 No Content", {{"X-RateLimit-Remaining", "0"}, {"x-ratelimit-reset-after", "5.250"}});
  Send(2);
  After(5249ms);
  EXPECT_EQ(Posts(), 1u);
  After(1ms);
  EXPECT_EQ(Posts(), 2u);
}

struct LimitCase {
  const char* name;
  std::unordered_map<std::string, std::string> headers;
  std::string text;                // the framework passes no body for a 429
  std::chrono::milliseconds wait;  // the post goes again after this, not before
  bool global;
};

class RateLimitTest : public DeliveryTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RateLimitTest, WaitsWhatDiscordSaysAndResendsTheSameBatch) {
  Send(1);
  Send(2, kOtherHook);
  Send(3);  // waits behind 1
  transport_.Posts()[0].done({false, GetParam().text, GetParam().headers});
  transport_.Posts()[0].answered = true;
  transport_.Posts()[1].done({true, "204 No Content", {}});
  transport_.Posts()[1].answered = true;
  delivery_->Tick();
  Send(4, kOtherHook);
  After(GetParam().wait - 1ms);
  const std::size_t before = Posts();
  EXPECT_EQ(before, GetParam().global ? 2u : 3u);  // the other webhook waits only for a global
  After(1ms);
  ASSERT_EQ(Posts(), GetParam().global ? 4u : 4u);
  EXPECT_EQ(Numbers(GetParam().global ? 2 : 3), (std::vector<int>{1, 3}));
  EXPECT_EQ(delivery_->Counters().retries_429, 1u);
  ASSERT_FALSE(lines_.empty());
  EXPECT_EQ(lines_[0], "Error sending command to Discord. Error: 429 Too Many Requests");
  for (std::size_t i = 1; i < lines_.size(); ++i) {  // a wait of a minute gets its summary
    EXPECT_EQ(lines_[i].rfind("Discord delivery: 1 delivered in 1 posts", 0), 0u) << lines_[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RateLimitTest,
    ::testing::Values(
        LimitCase{"retry_after_not_reset_after",
                  {{"Retry-After", "3"},
                   {"X-RateLimit-Reset-After", "0.5"},
                   {"X-RateLimit-Scope", "user"}},
                  "429 Too Many Requests",
                  3000ms,
                  false},
        LimitCase{"shared_scope_fraction",
                  {{"retry-after", "40.5"}, {"x-ratelimit-scope", "shared"}},
                  "429 Too Many Requests",
                  40500ms,
                  false},
        LimitCase{"global_pauses_every_webhook",
                  {{"Retry-After", "2"}, {"X-RateLimit-Global", "true"}},
                  "429 Too Many Requests",
                  2000ms,
                  true},
        LimitCase{"no_discord_headers_is_a_block",
                  {{"Retry-After", "2"}},
                  "429 Too Many Requests",
                  60000ms,
                  false},
        LimitCase{"no_headers_at_all_is_a_block", {}, "429 Too Many Requests", 60000ms, false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Failures of the network or of Discord: the batch stays at the head and is retried with
// exponential back-off (about 1 s doubling to about a minute); one error line for the first
// failure, then a summary a minute at most.
TEST_F(DeliveryTest, FailuresBackOffLogOnceAndSummarise) {
  Send(1);
  std::chrono::milliseconds elapsed{0};
  for (int attempt = 1; attempt <= 9; ++attempt) {
    Reply(attempt % 2 == 0 ? "" : "503 Service Unavailable");
    const auto nominal = std::min(std::chrono::milliseconds(1000 << (attempt - 1)),
                                  std::chrono::milliseconds(60000));
    After(nominal * 8 / 10 - 1ms);
    EXPECT_EQ(Posts(), static_cast<std::size_t>(attempt)) << attempt;  // not before 80 %
    After(nominal * 4 / 10 + 1ms);
    EXPECT_EQ(Posts(), static_cast<std::size_t>(attempt + 1)) << attempt;  // by 120 %
    elapsed += nominal * 12 / 10;
  }
  Reply("204 No Content");
  delivery_->Tick();
  EXPECT_EQ(delivery_->Counters().delivered, 1u);
  EXPECT_EQ(delivery_->Counters().retries_5xx, 5u);
  EXPECT_EQ(delivery_->Counters().retries_other, 4u);
  ASSERT_GE(lines_.size(), 2u);
  EXPECT_EQ(lines_[0], "Error sending command to Discord. Error: 503 Service Unavailable");
  for (std::size_t i = 1; i < lines_.size(); ++i) {
    EXPECT_EQ(lines_[i].rfind("Discord delivery: 0 delivered in 0 posts, 1 waiting, ", 0), 0u)
        << lines_[i];
  }
  EXPECT_LE(lines_.size(), 1 + static_cast<std::size_t>(elapsed / 60s) + 1);
}

// Discord refuses one embed of a batch: halves are posted until it is found; the others go out
// in order, and the refused one gets one error line naming its player.
TEST_F(DeliveryTest, ARefusedEmbedIsFoundAndTheOthersStillGoOut) {
  Send(1);
  for (int n = 2; n <= 6; ++n) Send(n);
  Reply("204 No Content");
  std::vector<int> delivered = {1};
  for (std::size_t post = 1; post < 20 && Posts() > post - 1; ++post) {
    After(2s);
    if (Posts() == post) break;
    const std::vector<int> numbers = Numbers(post);
    const bool holds_4 = std::find(numbers.begin(), numbers.end(), 4) != numbers.end();
    Reply(holds_4 ? "400 Bad Request" : "204 No Content");
    if (!holds_4) delivered.insert(delivered.end(), numbers.begin(), numbers.end());
  }
  EXPECT_EQ(delivered, (std::vector<int>{1, 2, 3, 5, 6}));  // in order, and nothing twice
  EXPECT_LE(Posts(), 8u);
  EXPECT_EQ(delivery_->Counters().delivered, 5u);
  EXPECT_EQ(delivery_->Counters().refused, 1u);
  EXPECT_EQ(delivery_->Waiting(), 0u);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].rfind("Discord refused the notification of P4's command at ", 0), 0u);
  EXPECT_NE(lines_[0].find("(400 Bad Request); the server log has the command"), std::string::npos);
}

TEST_F(DeliveryTest, AWebhookDiscordDoesNotKnowIsGivenUpWithOneLine) {
  Send(1);
  Send(2);
  Reply("404 Not Found");
  delivery_->Tick();
  for (int n = 3; n <= 10; ++n) Send(n);
  After(10min);
  EXPECT_EQ(Posts(), 1u);
  EXPECT_EQ(delivery_->Counters().undeliverable, 10u);
  EXPECT_EQ(delivery_->Waiting(), 0u);
  EXPECT_EQ(lines_, std::vector<std::string>{
                        "Discord answered 404 Not Found for the webhook: it was deleted or its "
                        "token is wrong. Nothing more is posted to it until the plugin is "
                        "reloaded; 2 notifications were not delivered"});
  delivery_->Reconfigure({});  // a reload tries it again
  Send(11);
  EXPECT_EQ(Posts(), 2u);
}

// Posts are never redirected: a webhook URL that answers 3xx is not the webhook's own, and is
// given up as one Discord does not know.
TEST_F(DeliveryTest, AWebhookThatRedirectsIsGivenUpWithOneLine) {
  for (const char* status : {"301 Moved Permanently", "308 Permanent Redirect"}) {
    delivery_->Reconfigure({});
    lines_.clear();
    Send(1);
    Reply(status);
    Send(2);
    After(10min);
    EXPECT_EQ(transport_.Open(), nullptr) << status;  // nothing more posted
    EXPECT_EQ(lines_, std::vector<std::string>{
                          std::string("Discord answered ") + status +
                          " for the webhook: it sends posts elsewhere, which the server does not "
                          "follow: set \"discordwh\" to the webhook's own URL. Nothing more is "
                          "posted to it until the plugin is reloaded; 1 notifications were not "
                          "delivered"});
  }
  EXPECT_EQ(delivery_->Counters().undeliverable, 4u);
}

// The host took the post and its callback, then threw: the webhook is not wedged, the post is
// retried, and the callback's late answer changes nothing.
TEST_F(DeliveryTest, AHandOverThatThrowsIsRetriedAndItsLateAnswerIgnored) {
  transport_.ThrowAfterTaking(true);
  Send(1);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].rfind("Error sending command to Discord. Error: the request could not be "
                            "handed over (",
                            0),
            0u)
      << lines_[0];
  transport_.ThrowAfterTaking(false);
  After(2s);
  ASSERT_EQ(Posts(), 2u);
  transport_.Posts()[0].answered = true;
  transport_.Posts()[0].done({false, "500 Internal Server Error", {}});
  delivery_->Tick();
  EXPECT_EQ(Posts(), 2u);
  EXPECT_EQ(delivery_->Counters().retries_5xx, 0u);
  Reply("204 No Content");
  EXPECT_EQ(delivery_->Counters().delivered, 1u);
  EXPECT_EQ(delivery_->Waiting(), 0u);
}

// The host's time-outs bound each socket operation, not the post: one that never ends is given
// up after a while and posted again, and its answer, should it come, is ignored.
TEST_F(DeliveryTest, APostThatNeverEndsIsPostedAgain) {
  Send(1);
  After(119s);
  EXPECT_EQ(Posts(), 1u);
  After(1s);
  After(2s);  // the back-off
  ASSERT_EQ(Posts(), 2u);
  EXPECT_EQ(delivery_->Counters().retries_other, 1u);
  EXPECT_EQ(lines_, std::vector<std::string>{"Error sending command to Discord. Error: no response "
                                             "(connection failed or timed out)"});
  transport_.Posts()[0].answered = true;
  transport_.Posts()[0].done({true, "204 No Content", {}});
  Reply("204 No Content");
  EXPECT_EQ(delivery_->Counters().delivered, 1u);
  EXPECT_EQ(delivery_->Counters().posts, 1u);
}

// A status line and then a body cut short reach the plugin as the status's success with no text
// and no headers: a 2xx is delivered, anything else looks like no answer and is backed off.
TEST_F(DeliveryTest, AnAnswerCutShortCountsAsItsSuccess) {
  Send(1);
  transport_.Open()->answered = true;
  transport_.Posts()[0].done({true, "", {}});
  delivery_->Tick();
  EXPECT_EQ(delivery_->Counters().delivered, 1u);
  After(2s);
  Send(2);
  Reply("");
  EXPECT_EQ(delivery_->Counters().retries_other, 1u);
  After(2s);
  EXPECT_EQ(Posts(), 3u);
  EXPECT_EQ(Numbers(2), std::vector<int>{2});
}

// Past the bound, notifications are counted; when the queue drains the channel gets one embed
// in their place saying how many it does not show.
TEST_F(DeliveryTest, OverflowBecomesOneGapEmbedInItsPlace) {
  Make({30, 3});
  Send(1);  // in flight
  for (int n = 2; n <= 10; ++n) Send(n);
  EXPECT_EQ(delivery_->Waiting(), 3u);
  EXPECT_EQ(delivery_->Counters().omitted, 7u);
  Reply("204 No Content");
  After(2s);
  Send(11);
  ASSERT_EQ(Posts(), 2u);
  const auto second = transport_.Descriptions(1);
  ASSERT_EQ(second.size(), 3u);  // 2, 3 and the gap; 11 waits behind the gap's post
  EXPECT_EQ(Numbers(1).front(), 2);
  EXPECT_EQ(second[2].rfind("7 more commands of Mia not shown here between ", 0), 0u) << second[2];
  EXPECT_NE(second[2].find("; the server log and the journal have them"), std::string::npos);
  Reply("204 No Content");
  After(2s);
  EXPECT_EQ(Numbers(2), std::vector<int>{11});
  EXPECT_EQ(delivery_->Counters().gaps, 1u);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].rfind("Discord delivery: 3 notifications are waiting", 0), 0u);
}

// While the queue is full and its posts fail, each retry carries the gap out again: what is
// omitted meanwhile joins it instead of growing a gap per retry.
TEST_F(DeliveryTest, AGapRetriedAgainAndAgainStaysOneGap) {
  Make({30, 1});
  Send(1);    // in flight
  Send(2);    // omitted: a gap behind 1
  Reply("");  // no answer
  for (int n = 3; n <= 22; ++n) {
    After(10min);  // the retry: 1 and the gap go out again
    Send(n);       // omitted while they are in flight
    Reply("502 Bad Gateway");
  }
  EXPECT_LE(delivery_->Owed(), 3u);
  After(10min);
  Reply("204 No Content");
  const auto last = transport_.Descriptions(Posts() - 1);
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[1].rfind("21 more commands of Mia not shown here between ", 0), 0u) << last[1];
}

// One player flooding the channel takes no one else's place: with the queue full of Mia's
// commands, Bob's takes the place of her newest, which is counted into her gap; the channel
// shows hers, her gap, then his, in order.
TEST_F(DeliveryTest, AFloodOfOnePlayerLeavesRoomForAnother) {
  Make({30, 200});
  for (int n = 1; n <= 2000; ++n) Send(n);
  Send(5000, kHook, 0, "Bob");
  EXPECT_EQ(delivery_->Waiting(), 200u);
  std::vector<std::string> shown;
  for (int post = 0; post < 40 && delivery_->Owed() > 0; ++post) {
    for (const std::string& d : transport_.Descriptions(Posts() - 1)) shown.push_back(d);
    Reply("204 No Content");
    After(2s);
  }
  EXPECT_EQ(delivery_->Owed(), 0u);
  ASSERT_EQ(shown.size(), 201u);
  for (int n = 1; n <= 199; ++n) EXPECT_EQ(shown[n - 1], "Executed: say " + std::to_string(n));
  EXPECT_EQ(shown[199].rfind("1801 more commands of Mia not shown here between ", 0), 0u)
      << shown[199];
  EXPECT_EQ(shown[200], "Executed: say 5000");
  EXPECT_EQ(delivery_->Counters().omitted, 1801u);
  EXPECT_EQ(delivery_->Counters().delivered, 200u);
}

// Two floods share the queue: each keeps about half, and what neither has room for is summed up
// per player. The bytes are bounded too, whatever the bound in notifications.
TEST_F(DeliveryTest, FloodsShareTheQueueAndItsBytes) {
  Make({30, 200});
  for (int n = 1; n <= 1000; ++n) {
    Send(n, kHook, 0, "Mia");
    Send(n, kHook, 0, "Bob");
  }
  EXPECT_EQ(delivery_->Waiting(), 200u);
  std::vector<std::string> gaps;
  for (int post = 0; post < 40 && delivery_->Owed() > 0; ++post) {
    for (const std::string& d : transport_.Descriptions(Posts() - 1)) {
      if (d.find(" not shown here ") != std::string::npos) gaps.push_back(d);
    }
    Reply("204 No Content");
    After(2s);
  }
  ASSERT_EQ(gaps.size(), 2u);
  EXPECT_EQ(gaps[0].rfind("900 more commands of Mia not shown", 0), 0u) << gaps[0];
  EXPECT_EQ(gaps[1].rfind("900 more commands of Bob not shown", 0), 0u) << gaps[1];

  Make({30, 1000000});
  for (int n = 1; n <= 3000; ++n) Send(n, kHook, 4000);
  Send(1, kHook, 4000, "Bob");
  EXPECT_LE(delivery_->WaitingBytes(), quillmark::kQueueBytes);
  EXPECT_GT(delivery_->Counters().omitted, 0u);
  EXPECT_EQ(delivery_->Waiting() + delivery_->Counters().omitted, 3001u);
}

TEST_F(DeliveryTest, AHandOverTheHostRefusesIsRetried) {
  transport_.Refuse(true);
  Send(1);
  EXPECT_EQ(lines_, std::vector<std::string>{"Error sending command to Discord. Error: the "
                                             "request could not be handed over"});
  transport_.Refuse(false);
  After(2s);
  EXPECT_EQ(Posts(), 1u);
}

// Results come back on the host's thread of choice; the frames take them in.
TEST_F(DeliveryTest, ResultsFromAnotherThreadAreTakenInOnAFrame) {
  Send(1);
  Send(2);
  std::thread([this] { transport_.Answer("204 No Content"); }).join();
  EXPECT_EQ(delivery_->Counters().delivered, 0u);
  After(0ms);
  After(2s);
  EXPECT_EQ(delivery_->Counters().delivered, 1u);
  EXPECT_EQ(Posts(), 2u);
}

// At the stop what waits gets one last post, for each webhook whose pace lets it go within the
// wait and that has no post in flight (the channel keeps the order); nothing is posted after.
// Under the framework no answer comes while the plugin stops: what was posted is not known to
// have arrived.
TEST_F(DeliveryTest, AStopGivesWhatWaitsOneLastPostAndCountsWhatIsLeft) {
  Make({6000, 10000});  // a post every 10 ms
  Send(1);
  Reply("204 No Content");
  Send(2);  // waits for the pace...
  Send(3);
  Send(4, kOtherHook);  // ...while this webhook's post is in flight
  Send(5, kOtherHook);
  const Delivery::Left left = delivery_->Stop(1s);
  ASSERT_EQ(Posts(), 3u);
  EXPECT_EQ(Numbers(2), (std::vector<int>{2, 3}));
  EXPECT_EQ(left, (Delivery::Left{1, 3, 0}));  // 5 not posted; 2, 3 and 4 not known
  for (auto& post : transport_.Posts()) post.done({true, "204 No Content", {}});
  After(1h);
  EXPECT_EQ(Posts(), 3u);

  for (auto& post : transport_.Posts()) post.answered = true;
  Make({30, 10000});  // a post every 2 s: not within the wait
  Send(6);
  Reply("204 No Content");
  Send(7);
  EXPECT_EQ(delivery_->Stop(100ms), (Delivery::Left{1, 0, 0}));
  EXPECT_EQ(Posts(), 4u);
}

// Nothing is left when the channel was shown everything, the count of what was omitted
// included.
TEST_F(DeliveryTest, AStopLeavesNothingOnceTheOmittedAreCountedInTheChannel) {
  Make({30, 2});
  for (int n = 1; n <= 5; ++n) Send(n);  // 1 in flight, 2 waits, 3 to 5 omitted
  Reply("204 No Content");
  After(2s);
  EXPECT_EQ(transport_.Descriptions(1).size(), 2u);  // 2 and the gap
  Reply("204 No Content");
  EXPECT_EQ(delivery_->Counters().omitted, 3u);
  EXPECT_EQ(delivery_->Stop(0ms), Delivery::Left{});
}

// Answers every post at once with 204 on a thread of its own, as a host may.
class AnsweringTransport final : public quillmark::PostTransport {
 public:
  ~AnsweringTransport() override {
    for (std::thread& thread : threads_) thread.join();
  }
  bool Post(const std::string& /*url*/, const std::string& body,
            std::function<void(quillmark::PostResult)> done) override {
    bodies_.push_back(body);
    threads_.emplace_back([done = std::move(done)] { done({true, "204 No Content", {}}); });
    return true;
  }
  std::vector<std::string> bodies_;

 private:
  std::vector<std::thread> threads_;
};

// A host that answers on its own threads is heard during the stop: the post in flight is
// answered, and what waits behind it gets its last post after it.
TEST(DeliveryStopTest, AHostThatAnswersOnItsOwnThreadsIsHeardWhileItStops) {
  AnsweringTransport transport;
  Delivery delivery(
      {6000, 10000}, transport, [] { return quillmark::DeliveryClock::now(); },
      [](const std::string& line) { ADD_FAILURE() << line; });
  const auto send = [&delivery](int n) {
    delivery.Enqueue(kHook, "Audit",
                     {MakeEmbed(quillmark::kBlockedTitle, "Executed: say " + std::to_string(n), 1),
                      "P", std::chrono::system_clock::now()});
  };
  send(1);
  while (delivery.Counters().delivered == 0) {
    std::this_thread::sleep_for(1ms);
    delivery.Tick();
  }
  std::this_thread::sleep_for(20ms);  // past the pace
  send(2);                            // in flight at the stop
  send(3);                            // waits behind it
  EXPECT_EQ(delivery.Stop(1s), Delivery::Left{});
  EXPECT_EQ(delivery.Counters().delivered, 3u);
  EXPECT_EQ(transport.bodies_.size(), 3u);
}

}  // namespace

namespace {

// An alert: command `n` of `sender` whose post pings `mentions`.
void SendAlert(Delivery& delivery, int n, std::vector<std::string> mentions,
               const std::string& sender = "Mia") {
  delivery.Enqueue(kHook, "Audit",
                   {MakeEmbed(quillmark::kBlockedTitle, "Executed: say " + std::to_string(n), 1),
                    std::string("P").append(std::to_string(n)), std::chrono::system_clock::now(),
                    sender, sender, std::move(mentions)});
}

}  // namespace

// An alert leads a post of its own, at the pace: the post before it ends where it waits, others
// without a ping may follow it, and an alert that pings others starts the next post. Only the
// posts it leads ping anyone.
TEST_F(DeliveryTest, AnAlertLeadsItsOwnPostAtThePace) {
  const std::vector<std::string> role = {"<@&7>"};
  const std::vector<std::string> user = {"<@8>"};
  Send(1);  // in flight
  Send(2);
  SendAlert(*delivery_, 3, role);
  Send(4);
  SendAlert(*delivery_, 5, role);
  SendAlert(*delivery_, 6, user);
  Send(7);
  for (int post = 1; post <= 3; ++post) {
    Reply("204 No Content");
    After(1999ms);
    EXPECT_EQ(Posts(), static_cast<std::size_t>(post));
    After(1ms);
    ASSERT_EQ(Posts(), static_cast<std::size_t>(post + 1));
  }
  EXPECT_EQ(Numbers(1), std::vector<int>{2});
  EXPECT_EQ(Numbers(2), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(Numbers(3), (std::vector<int>{6, 7}));
  const std::vector<std::vector<std::string>> pings = {{}, {}, role, user};
  for (std::size_t i = 0; i < pings.size(); ++i) {
    const auto body = nlohmann::json::parse(transport_.Posts()[i].body);
    std::string content;
    for (const auto& m : pings[i]) content += m;
    EXPECT_EQ(body.value("content", std::string()), content) << i;
    EXPECT_EQ(body["allowed_mentions"]["parse"], nlohmann::json::array()) << i;
    EXPECT_EQ(body["allowed_mentions"].size(), pings[i].empty() ? 1u : 3u) << i;
  }
}

// With the queue full, an alert takes the place of a notification without a ping, even of a
// sender with its fair share; a notification without a ping never takes an alert's place.
TEST_F(DeliveryTest, AnAlertIsNeverTheOneToGiveWay) {
  Make({30, 3});
  Send(1, kHook, 0, "Mia");  // in flight
  Send(2, kHook, 0, "Mia");
  Send(3, kHook, 0, "Bob");
  SendAlert(*delivery_, 4, {"<@9>"}, "Bob");  // takes 2's place: Mia has the most
  Send(5, kHook, 0, "Carl");                  // takes 3's place, never 4's
  Send(6, kHook, 0, "Dan");                   // everyone has one: omitted
  EXPECT_EQ(delivery_->Waiting(), 3u);
  EXPECT_EQ(delivery_->Counters().omitted, 3u);
  Reply("204 No Content");
  Make({30, 2});
  SendAlert(*delivery_, 1, {"<@9>"});  // in flight
  SendAlert(*delivery_, 2, {"<@9>"});
  Send(3, kHook, 0, "Bob");  // finds only alerts: omitted
  EXPECT_EQ(delivery_->Waiting(), 2u);
  EXPECT_EQ(delivery_->Counters().omitted, 1u);
  SendAlert(*delivery_, 4, {"<@9>"}, "Bob");  // among alerts, the fair share: 2 gives way
  EXPECT_EQ(delivery_->Waiting(), 2u);
  EXPECT_EQ(delivery_->Counters().omitted, 2u);
  std::vector<std::string> shown;
  for (int post = 0; post < 6 && delivery_->Owed() > 0; ++post) {
    for (const std::string& d : transport_.Descriptions(Posts() - 1)) shown.push_back(d);
    Reply("204 No Content");
    After(2s);
  }
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], "Executed: say 1");
  EXPECT_EQ(shown[1].rfind("1 more commands of Mia not shown", 0), 0u) << shown[1];
  EXPECT_EQ(shown[2].rfind("1 more commands of Bob not shown", 0), 0u) << shown[2];
  EXPECT_EQ(shown[3], "Executed: say 4");
}
