// Delivery of notifications to Discord that loses nothing: one queue per webhook, first in
// first out, at most one post in flight per webhook so that the channel shows commands in the
// order they were handled. A post carries as many waiting notifications as fit (up to 10 embeds
// and 6000 characters), paced so that steady traffic stays under Discord's limits. A refused
// post is retried: after Discord's wait for a 429, with back-off for a failure of the network
// or of Discord; a batch Discord refuses is split until the one embed it refuses is found. The
// queue is bounded in notifications and in bytes, and shared fairly between those who send:
// when it is full, a notification of a sender with fewer waiting than the sender with the most
// takes the place of that sender's newest one. What finds no place is counted per sender, and
// the channel later gets one embed per sender, in its place, saying how many it does not show.
// An alert (a notification that pings) leads its own post, which no alert of other mentions
// shares, and is never the one to give its place while a notification without a ping waits:
// an alert takes the place of the newest notification without a ping of the sender with the
// most waiting that has one, and only among alerts does the fair share apply.
// Nothing here waits; the host's frames drive it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "notify/discord_body.h"

namespace quillmark {

using DeliveryClock = std::chrono::steady_clock;

// One notification waiting to be posted.
struct Notification {
  Embed embed;
  std::string player;                            // who typed the command, for error lines
  std::chrono::system_clock::time_point when{};  // when the command was handled
  // Whose share of the queue it takes (a player's EOS id, an RCON client); empty: `player`.
  std::string sender{};
  // The sender as an embed shows it (see markdown.h), for the embed of what is not shown;
  // empty: `player`.
  std::string shown{};
  // An alert's mentions (see alerts.h), which the post it leads pings; empty: no ping.
  std::vector<std::string> mentions{};
};

// The host's time-outs apply to each socket operation, with no deadline for the whole post and
// none for the name lookup: a post may never end. Past this long without an answer it is
// counted as failed and its notifications are posted again (Discord may then show them twice);
// its answer, should it still come, is ignored.
inline constexpr auto kAnswerDeadline = std::chrono::minutes(2);

struct DeliveryOptions {
  int posts_per_minute = 30;        // the pace; Discord lets a channel have about 30 a minute
  std::size_t queue_limit = 10000;  // notifications that may wait, over every webhook
};

// The most bytes the waiting notifications may hold, over every webhook, whatever the limit in
// notifications: a full queue of the longest embeds stays within it.
inline constexpr std::size_t kQueueBytes = std::size_t{8} << 20;

// What a post came back with: the host's callback arguments.
struct PostResult {
  bool success = false;
  std::string text;  // the body for status 200, "<code> <reason>" otherwise, empty: no answer
  std::unordered_map<std::string, std::string> headers;
};

// Posts a body to a webhook; how the delivery reaches the network.
class PostTransport {
 public:
  virtual ~PostTransport() = default;
  // Hands the post over and returns at once; `done` is called later with its result, once, on
  // any thread (or never, when the host drops it). False when it could not be handed over.
  virtual bool Post(const std::string& url, const std::string& body,
                    std::function<void(PostResult)> done) = 0;
};

struct DeliveryCounters {
  std::uint64_t delivered = 0;      // notifications Discord accepted
  std::uint64_t posts = 0;          // posts Discord accepted
  std::uint64_t gaps = 0;           // gap embeds Discord accepted
  std::uint64_t retries_429 = 0;    // posts Discord asked to repeat later
  std::uint64_t retries_5xx = 0;    // posts Discord failed
  std::uint64_t retries_other = 0;  // no answer, not handed over, or split to find a refusal
  std::uint64_t omitted = 0;        // notifications past the queue's bound
  std::uint64_t refused = 0;        // notifications Discord refused
  std::uint64_t undeliverable = 0;  // notifications for a webhook Discord no longer knows
  [[nodiscard]] std::uint64_t Retries() const { return retries_429 + retries_5xx + retries_other; }
};

class Delivery {
 public:
  using Clock = std::function<DeliveryClock::time_point()>;
  using Log = std::function<void(const std::string&)>;

  // Error lines go to `log_error`. Game thread, as is every member.
  Delivery(DeliveryOptions options, PostTransport& transport, Clock clock, Log log_error);
  Delivery(const Delivery&) = delete;
  Delivery& operator=(const Delivery&) = delete;
  ~Delivery();

  // Queues `notification` for `webhook`, to be posted under `poster`; posts at once when the
  // webhook is idle and due. Nothing for an empty webhook.
  void Enqueue(const std::string& webhook, const std::string& poster, Notification notification);

  // Whether a notification of `sender` (shown as `shown`) for `webhook` made at `when` would be
  // queued: when not, it is counted here as Enqueue would count it (omitted while the queue is
  // full and the sender has its fair share, undeliverable for a webhook given up) and need not
  // be made at all. When the queue is full and another sender has more than one notification
  // more waiting, that sender's newest without a ping gives its place (counted as omitted) and
  // it is queued; for an `alert`, see above. O(log n) in the senders waiting; an alert that
  // finds the queue full may look through every sender and its alerts.
  bool Admit(const std::string& webhook, const std::string& poster, std::string_view sender,
             std::string_view shown, std::chrono::system_clock::time_point when,
             bool alert = false);

  // Takes in the results that have come back and posts what is due. Every frame.
  void Tick();

  // What a stop leaves undelivered: notifications never posted, notifications whose post had
  // no answer that reached the delivery, so that whether they arrived is not known, and
  // notifications counted as omitted whose gap embed the channel has not shown.
  struct Left {
    std::size_t not_posted = 0;
    std::size_t unknown = 0;
    std::uint64_t omitted = 0;
    bool operator==(const Left&) const = default;
  };
  // Stops delivery, within `timeout` of real time: each webhook with no post in flight and
  // notifications waiting gets one last post (a batch), once its pace lets it go within the
  // time; when the host has answered on threads of its own (the framework answers only on a
  // frame, and none comes while the plugin stops), it also waits for the answers of the posts
  // in flight, taking them in. Nothing is posted afterwards. Says what is left.
  Left Stop(std::chrono::milliseconds timeout);

  // Notifications handed over and neither delivered, refused, counted as omitted nor given up.
  [[nodiscard]] std::size_t Waiting() const { return waiting_; }
  // The bytes the waiting notifications hold (at most kQueueBytes).
  [[nodiscard]] std::size_t WaitingBytes() const { return bytes_; }
  // What the channel is still owed: the waiting notifications and the gap embeds not yet posted.
  [[nodiscard]] std::size_t Owed() const;
  [[nodiscard]] const DeliveryCounters& Counters() const { return counters_; }

  // A new configuration: its pace and bound apply from now on, and webhooks given up for good
  // are tried again.
  void Reconfigure(DeliveryOptions options);

 private:
  struct Item;
  struct Queue;
  struct Inbox;
  struct Share;
  using Items = std::list<Item>;

  Queue& QueueFor(const std::string& webhook);
  Share* FindShare(const Queue& queue, std::string_view sender);
  Share& ShareFor(Queue& queue, std::string_view sender, std::string_view shown);
  void Reweigh(Share& share, std::size_t before);
  void Release(Share& share);
  bool MakeRoom(const Share* share, bool alert);
  bool GiveWay(Share& share, bool alert_too);
  void Omit(Queue& queue, const std::string& poster, std::string_view sender,
            std::string_view shown, std::chrono::system_clock::time_point when);
  void ReportOverflow();
  void Drop(Queue& queue, Items::iterator item);
  void PostIfDue(Queue& queue, DeliveryClock::time_point now);
  void Post(Queue& queue, DeliveryClock::time_point now);
  void Take(Queue& queue, std::uint64_t post, PostResult result, DeliveryClock::time_point now);
  void Delivered(Queue& queue, const PostResult& result, DeliveryClock::time_point now);
  void RateLimited(Queue& queue, const PostResult& result, DeliveryClock::time_point now);
  void Failed(Queue& queue, const std::string& text, std::uint64_t& counter,
              DeliveryClock::time_point now);
  void Refused(Queue& queue, const PostResult& result, DeliveryClock::time_point now);
  void GiveUp(Queue& queue, const PostResult& result, std::string_view why);
  void FirstFailure(Queue& queue, const std::string& text, DeliveryClock::time_point now);
  void Summarise(DeliveryClock::time_point now);
  void TakeResults(DeliveryClock::time_point now);
  [[nodiscard]] DeliveryClock::duration Interval() const;

  DeliveryOptions options_;
  PostTransport& transport_;
  Clock clock_;
  Log log_error_;
  std::shared_ptr<Inbox> inbox_;
  std::map<std::string, std::unique_ptr<Queue>> queues_;
  // The shares, by webhook and sender, and by how many notifications each has waiting.
  std::map<std::string, std::unique_ptr<Share>, std::less<>> shares_;
  std::set<std::tuple<std::size_t, std::uint64_t, Share*>> weights_;  // (waiting, number, share)
  std::uint64_t next_share_ = 0;
  std::uint64_t next_item_ = 0;
  std::size_t waiting_ = 0;
  std::size_t bytes_ = 0;
  std::uint64_t next_post_ = 0;
  DeliveryClock::time_point global_resume_{};
  DeliveryCounters counters_;
  std::uint64_t retries_since_summary_ = 0;
  DeliveryClock::time_point summary_due_{};
  bool overflow_reported_ = false;
  bool stopping_ = false;
  std::minstd_rand jitter_{20260101};
};

// Local date and time as the log writes it, with seconds: "MM/DD/YY HH:MM:SS".
std::string FormatLocalTime(std::chrono::system_clock::time_point when);

}  // namespace quillmark
