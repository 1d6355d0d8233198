// The delivery queues.
#include "notify/delivery.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "host/libraries.h"

namespace quillmark {
namespace {

constexpr auto kFirstBackOff = std::chrono::seconds(1);
constexpr auto kLongestBackOff = std::chrono::seconds(60);
// A 429 without Discord's rate-limit headers comes from something in front of Discord (a ban of
// the server's address, say): hammering it makes things worse, so the wait is minutes.
constexpr auto kFirstBlockWait = std::chrono::seconds(60);
constexpr auto kLongestBlockWait = std::chrono::minutes(15);
constexpr auto kSummaryEvery = std::chrono::seconds(60);

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A response header, its name compared ignoring case (servers send either).
const std::string* Header(const PostResult& result, const std::string& lower_name) {
  for (const auto& [name, value] : result.headers) {
    if (LowerAscii(name) == lower_name) return &value;
  }
  return nullptr;
}

// A number of seconds (fractions allowed); negative when absent or not a number.
double Seconds(const std::string* text) {
  if (text == nullptr) return -1;
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  return end != text->c_str() && std::isfinite(value) && value >= 0 ? value : -1;
}

DeliveryClock::duration FromSeconds(double seconds) {
  return std::chrono::duration_cast<DeliveryClock::duration>(
      std::chrono::duration<double>(std::min(seconds, 86400.0)));
}

// The status of a result: 2xx for success, the leading number of "<code> <reason>", 0 when no
// answer came.
int Status(const PostResult& result) {
  if (result.success) return 200;
  const int code = std::atoi(result.text.c_str());
  return code >= 100 && code <= 599 ? code : 0;
}

DeliveryClock::duration Doubling(DeliveryClock::duration first, DeliveryClock::duration longest,
                                 int attempt) {
  DeliveryClock::duration wait = first;
  for (int i = 1; i < attempt && wait < longest; ++i) wait *= 2;
  return std::min(wait, longest);
}

}  // namespace

std::string FormatLocalTime(std::chrono::system_clock::time_point when) {
  const std::tm local = spdlog::details::os::localtime(std::chrono::system_clock::to_time_t(when));
  return fmt::format("{:02}/{:02}/{:02} {:02}:{:02}:{:02}", local.tm_mon + 1, local.tm_mday,
                     local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec);
}

// A notification, or a gap: notifications of one sender counted past the bound, shown as one
// embed.
struct Delivery::Item {
  Notification notification;  // of a gap: when the first was omitted
  std::string poster;
  Share* share = nullptr;
  std::uint64_t number = 0;  // increasing along a queue
  std::size_t bytes = 0;     // what a notification holds, in the queue's bound
  std::uint64_t gap = 0;     // > 0: this many notifications were not queued
  std::chrono::system_clock::time_point gap_last{};

  [[nodiscard]] Embed GapEmbed() const;
  // Counts one more notification, made at `when`, into the gap.
  void Count(std::chrono::system_clock::time_point when) {
    ++gap;
    notification.when = std::min(notification.when, when);
    gap_last = std::max(gap_last, when);
  }
};

// What one sender has in one webhook's queue.
struct Delivery::Share {
  std::string id;     // webhook and sender: the key in shares_
  std::string shown;  // as the embed of what is not shown names the sender
  std::uint64_t number = 0;
  Queue* queue = nullptr;
  std::deque<Items::iterator> waiting;  // its notifications in the queue, oldest first
  std::size_t gaps = 0;                 // its gaps in the queue
  // Its last gap, where what it has omitted is counted while that gap is not being posted.
  std::optional<Items::iterator> open_gap;
};

Embed Delivery::Item::GapEmbed() const {
  return MakeEmbed(
      kGapTitle,
      fmt::format("{} more commands of {} not shown here between {} and {}; the "
                  "server log and the journal have them",
                  gap, share->shown, FormatLocalTime(notification.when), FormatLocalTime(gap_last)),
      kOrange);
}

struct Delivery::Queue {
  std::string url;
  Items items;
  std::size_t in_flight = 0;              // items at the head being posted
  std::uint64_t flight_end = 0;           // the number of the last of them
  std::uint64_t post = 0;                 // the post whose result is awaited
  DeliveryClock::time_point posted_at{};  // when it was handed over
  DeliveryClock::time_point not_before{};
  int failures = 0;          // failures in a row, for the back-off
  int blocks = 0;            // 429s without Discord's headers in a row
  bool failing = false;      // the head has failed once: its first failure was logged
  bool stopped = false;      // Discord does not know the webhook
  std::size_t split = 0;     // while finding a refused embed: at most this many per post
  std::size_t suspects = 0;  // items at the head under suspicion
  bool last_chance = false;  // the stop has given it its last post

  [[nodiscard]] bool InFlight(const Item& item) const {
    return in_flight > 0 && item.number <= flight_end;
  }

  // Joins gaps side by side into one. They arise only where a post ended in a gap: what was
  // omitted while it was in flight counted into a new one, and the post then failed.
  void JoinGaps() {
    std::size_t i = 0;
    for (auto it = items.begin(); it != items.end() && i <= kMaxEmbeds;) {
      const auto next = std::next(it);
      if (next == items.end()) break;
      if (it->gap > 0 && next->gap > 0 && it->share == next->share && it->poster == next->poster) {
        it->gap += next->gap;
        it->notification.when = std::min(it->notification.when, next->notification.when);
        it->gap_last = std::max(it->gap_last, next->gap_last);
        if (it->share->open_gap == next) it->share->open_gap = it;
        --it->share->gaps;
        items.erase(next);
      } else {
        ++it;
        ++i;
      }
    }
  }
};

// Results come back on whatever thread the host calls back on; the game thread takes them in.
struct Delivery::Inbox {
  struct Entry {
    std::string url;
    std::uint64_t post;
    PostResult result;
  };
  std::mutex mutex;
  std::vector<Entry> entries;
  // The framework answers on the game thread during a frame, and never while the plugin stops;
  // a host that answers on threads of its own can be heard during the stop.
  const std::thread::id game_thread = std::this_thread::get_id();
  std::atomic<bool> answers_off_frames{false};
};

Delivery::Delivery(DeliveryOptions options, PostTransport& transport, Clock clock, Log log_error)
    : options_(options),
      transport_(transport),
      clock_(std::move(clock)),
      log_error_(std::move(log_error)),
      inbox_(std::make_shared<Inbox>()) {}

Delivery::~Delivery() = default;

DeliveryClock::duration Delivery::Interval() const {
  return std::chrono::duration_cast<DeliveryClock::duration>(std::chrono::minutes(1)) /
         std::max(1, options_.posts_per_minute);
}

std::size_t Delivery::Owed() const {
  std::size_t gaps = 0;
  for (const auto& [url, queue] : queues_) {
    for (const Item& item : queue->items) gaps += item.gap > 0 ? 1 : 0;
  }
  return waiting_ + gaps;
}

void Delivery::Reconfigure(DeliveryOptions options) {
  options_ = options;
  for (auto& [url, queue] : queues_) queue->stopped = false;
}

Delivery::Queue& Delivery::QueueFor(const std::string& webhook) {
  auto& slot = queues_[webhook];
  if (!slot) {
    slot = std::make_unique<Queue>();
    slot->url = webhook;
  }
  return *slot;
}

Delivery::Share* Delivery::FindShare(const Queue& queue, std::string_view sender) {
  const auto it = shares_.find(std::string(queue.url).append("\n").append(sender));
  return it == shares_.end() ? nullptr : it->second.get();
}

Delivery::Share& Delivery::ShareFor(Queue& queue, std::string_view sender, std::string_view shown) {
  std::string id = std::string(queue.url).append("\n").append(sender);
  auto& slot = shares_[id];
  if (!slot) {
    slot = std::make_unique<Share>();
    slot->id = std::move(id);
    slot->number = ++next_share_;
    slot->queue = &queue;
    weights_.emplace(0, slot->number, slot.get());
  }
  if (slot->shown != shown) slot->shown = shown;  // the latest name
  return *slot;
}

void Delivery::Reweigh(Share& share, std::size_t before) {
  weights_.erase({before, share.number, &share});
  weights_.emplace(share.waiting.size(), share.number, &share);
}

void Delivery::Release(Share& share) {
  if (!share.waiting.empty() || share.gaps > 0) return;
  weights_.erase({0, share.number, &share});
  shares_.erase(shares_.find(share.id));
}

void Delivery::ReportOverflow() {
  if (overflow_reported_) return;
  overflow_reported_ = true;
  log_error_(
      fmt::format("Discord delivery: {} notifications are waiting; until they drain, "
                  "new ones are counted as omitted and the channel will say how many",
                  waiting_));
}

// The fair share: the sender with the most notifications waiting gives up its newest without a
// ping, when it has more than one more than `share` (none: nothing waiting) and that one is not
// being posted. An alert first takes the place of the newest without a ping of the heaviest
// sender that has one; only when every notification waiting pings does an alert give way, by
// the fair share.
bool Delivery::MakeRoom(const Share* share, bool alert) {
  if (weights_.empty()) return false;
  if (alert) {
    for (auto it = weights_.rbegin(); it != weights_.rend(); ++it) {
      if (GiveWay(*std::get<2>(*it), false)) return true;
    }
  }
  const auto [count, number, heaviest] = *weights_.rbegin();
  const std::size_t own = share != nullptr ? share->waiting.size() : 0;
  if (heaviest == share || count <= own + 1) return false;
  return GiveWay(*heaviest, alert);
}

// The share's newest notification that is not being posted, and pings not (or, `alert_too`,
// may), gives its place: it is counted as omitted.
bool Delivery::GiveWay(Share& share, bool alert_too) {
  auto at = share.waiting.end();
  while (at != share.waiting.begin()) {
    --at;
    // Those being posted are the oldest.
    if (share.queue->InFlight(**at)) return false;
    if (alert_too || (*at)->notification.mentions.empty()) break;
    if (at == share.waiting.begin()) return false;
  }
  if (at == share.waiting.end()) return false;
  const Items::iterator victim = *at;
  ++counters_.omitted;
  --waiting_;
  bytes_ -= victim->bytes;
  const std::size_t before = share.waiting.size();
  share.waiting.erase(at);
  Reweigh(share, before);
  const std::optional<Items::iterator> gap = share.open_gap;
  if (gap && (*gap)->number > victim->number && (*gap)->poster == victim->poster) {
    (*gap)->Count(victim->notification.when);
    share.queue->items.erase(victim);
  } else {
    // The notification gives way to a gap in its place.
    victim->notification.embed = Embed{};
    victim->notification.player = std::string();
    victim->notification.mentions = {};
    victim->bytes = 0;
    victim->gap = 1;
    victim->gap_last = victim->notification.when;
    share.open_gap = victim;
    ++share.gaps;
  }
  ReportOverflow();
  return true;
}

void Delivery::Omit(Queue& queue, const std::string& poster, std::string_view sender,
                    std::string_view shown, std::chrono::system_clock::time_point when) {
  ++counters_.omitted;
  Share& share = ShareFor(queue, sender, shown);
  const std::optional<Items::iterator> gap = share.open_gap;
  if (gap && (*gap)->poster == poster &&
      (share.waiting.empty() || share.waiting.back()->number < (*gap)->number)) {
    (*gap)->Count(when);
  } else {
    queue.items.push_back(
        Item{Notification{{}, {}, when}, poster, &share, ++next_item_, 0, 1, when});
    share.open_gap = std::prev(queue.items.end());
    ++share.gaps;
  }
  ReportOverflow();
}

void Delivery::Drop(Queue& queue, Items::iterator item) {
  Share& share = *item->share;
  if (item->gap > 0) {
    --share.gaps;
    if (share.open_gap == item) share.open_gap.reset();
  } else {
    --waiting_;
    bytes_ -= item->bytes;
    const std::size_t before = share.waiting.size();
    if (!share.waiting.empty() && share.waiting.front() == item) {
      share.waiting.pop_front();
    } else {
      share.waiting.erase(std::find(share.waiting.begin(), share.waiting.end(), item));
    }
    Reweigh(share, before);
  }
  queue.items.erase(item);
  Release(share);
}

bool Delivery::Admit(const std::string& webhook, const std::string& poster, std::string_view sender,
                     std::string_view shown, std::chrono::system_clock::time_point when,
                     bool alert) {
  if (webhook.empty()) return false;
  Queue& queue = QueueFor(webhook);
  if (queue.stopped) {
    ++counters_.undeliverable;
    return false;
  }
  if (waiting_ < options_.queue_limit || MakeRoom(FindShare(queue, sender), alert)) return true;
  Omit(queue, poster, sender, shown, when);
  return false;
}

void Delivery::Enqueue(const std::string& webhook, const std::string& poster,
                       Notification notification) {
  const std::string sender =
      notification.sender.empty() ? notification.player : std::move(notification.sender);
  const std::string shown =
      notification.shown.empty() ? notification.player : std::move(notification.shown);
  notification.sender = std::string();
  notification.shown = std::string();
  const bool alert = !notification.mentions.empty();
  if (!Admit(webhook, poster, sender, shown, notification.when, alert)) return;
  Queue& queue = QueueFor(webhook);
  // What the notification holds, with the list's and the share's bookkeeping.
  const std::size_t bytes = sizeof(Item) + 4 * sizeof(void*) +
                            notification.embed.description.size() + notification.player.size() +
                            poster.size() + notification.mentions.size() * 32;
  while (bytes_ + bytes > kQueueBytes) {
    if (!MakeRoom(FindShare(queue, sender), alert)) {
      Omit(queue, poster, sender, shown, notification.when);
      return;
    }
  }
  Share& share = ShareFor(queue, sender, shown);
  queue.items.push_back(Item{std::move(notification), poster, &share, ++next_item_, bytes, 0, {}});
  const std::size_t before = share.waiting.size();
  share.waiting.push_back(std::prev(queue.items.end()));
  Reweigh(share, before);
  ++waiting_;
  bytes_ += bytes;
  PostIfDue(queue, clock_());
}

void Delivery::PostIfDue(Queue& queue, DeliveryClock::time_point now) {
  if (stopping_ || queue.stopped || queue.in_flight > 0 || queue.items.empty()) return;
  if (now < queue.not_before || now < global_resume_) return;
  Post(queue, now);
}

void Delivery::Post(Queue& queue, DeliveryClock::time_point now) {
  queue.JoinGaps();
  // As many waiting items as fit one post, in order, all under the same name. An alert leads
  // its post: it ends a post that another began, unless it pings the same as the one that leads.
  const std::size_t most = queue.split > 0 ? queue.split : kMaxEmbeds;
  std::vector<Embed> gaps;
  gaps.reserve(most);
  std::vector<const Embed*> embeds;
  std::size_t characters = 0;
  const std::string& poster = queue.items.front().poster;
  const std::vector<std::string>& mentions = queue.items.front().notification.mentions;
  for (Item& item : queue.items) {
    if (embeds.size() == most || item.poster != poster) break;
    if (!embeds.empty() && !item.notification.mentions.empty() &&
        item.notification.mentions != mentions) {
      break;
    }
    const Embed* embed = &item.notification.embed;
    if (item.gap > 0) {
      gaps.push_back(item.GapEmbed());
      embed = &gaps.back();
    }
    if (!embeds.empty() && characters + embed->Characters() > kMaxEmbedCharacters) break;
    characters += embed->Characters();
    embeds.push_back(embed);
    queue.flight_end = item.number;
  }
  const std::string body = DiscordBody(embeds, poster, mentions);
  queue.in_flight = embeds.size();
  // A gap being posted counts nothing more: Discord may show it as it is.
  auto item = queue.items.begin();
  for (std::size_t i = 0; i < queue.in_flight; ++i, ++item) {
    if (item->gap > 0 && item->share->open_gap == item) item->share->open_gap.reset();
  }
  queue.post = ++next_post_;
  queue.posted_at = now;
  std::string failure;
  try {
    // The host may call back even when the hand-over threw: an answer that comes while no post
    // is in flight, or for another post than the one in flight, is ignored when taken in.
    if (!transport_.Post(queue.url, body,
                         [inbox = std::weak_ptr<Inbox>(inbox_), url = queue.url,
                          post = queue.post](PostResult r) {
                           if (const auto alive = inbox.lock()) {
                             if (std::this_thread::get_id() != alive->game_thread) {
                               alive->answers_off_frames = true;
                             }
                             std::lock_guard lock(alive->mutex);
                             alive->entries.push_back({url, post, std::move(r)});
                           }
                         })) {
      failure = "the request could not be handed over";
    }
  } catch (const std::exception& e) {
    failure = fmt::format("the request could not be handed over ({})", e.what());
  }
  if (!failure.empty()) {
    queue.in_flight = 0;
    Failed(queue, failure, counters_.retries_other, now);
  }
}

void Delivery::Tick() {
  const DeliveryClock::time_point now = clock_();
  TakeResults(now);
  for (auto& [url, queue] : queues_) {
    if (queue->in_flight > 0 && now - queue->posted_at >= kAnswerDeadline) {
      queue->in_flight = 0;
      Failed(*queue, {}, counters_.retries_other, now);
    }
    PostIfDue(*queue, now);
  }
  Summarise(now);
}

void Delivery::TakeResults(DeliveryClock::time_point now) {
  std::vector<Inbox::Entry> entries;
  {
    std::lock_guard lock(inbox_->mutex);
    entries.swap(inbox_->entries);
  }
  for (Inbox::Entry& entry : entries) {
    const auto it = queues_.find(entry.url);
    if (it != queues_.end()) Take(*it->second, entry.post, std::move(entry.result), now);
  }
}

Delivery::Left Delivery::Stop(std::chrono::milliseconds timeout) {
  // A real wait, whatever clock the queues run on.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const auto remaining = [deadline] { return deadline - std::chrono::steady_clock::now(); };
  const auto posting = [this] {
    return std::any_of(queues_.begin(), queues_.end(),
                       [](const auto& q) { return q.second->in_flight > 0; });
  };
  const bool heard = inbox_->answers_off_frames;
  stopping_ = true;  // nothing is posted from here on but the last chances below
  for (;;) {
    TakeResults(clock_());
    // A last chance for what waits: one batch for each webhook with no post in flight (so that
    // the channel keeps the order), when its pace lets it go before the wait is over.
    for (auto& [url, entry] : queues_) {
      Queue& queue = *entry;
      if (queue.last_chance || queue.stopped || queue.in_flight > 0 || queue.items.empty()) {
        continue;
      }
      queue.last_chance = true;
      const auto due = std::max(queue.not_before, global_resume_) - clock_();
      if (due > remaining()) continue;
      if (due.count() > 0) std::this_thread::sleep_for(due);
      Post(queue, clock_());
    }
    if (!heard || !posting() || remaining().count() <= 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Left left;
  for (const auto& [url, queue] : queues_) {
    std::size_t i = 0;
    for (const Item& item : queue->items) {
      if (item.gap > 0) {
        left.omitted += item.gap;
      } else if (i < queue->in_flight) {
        ++left.unknown;
      }
      ++i;
    }
  }
  left.not_posted = waiting_ - left.unknown;
  return left;
}

void Delivery::Take(Queue& queue, std::uint64_t post, PostResult result,
                    DeliveryClock::time_point now) {
  if (queue.in_flight == 0 || post != queue.post) return;  // from before a reconfiguration
  const int status = Status(result);
  if (status >= 200 && status < 300) {
    Delivered(queue, result, now);
  } else if (status == 429) {
    queue.in_flight = 0;
    RateLimited(queue, result, now);
  } else if (status == 401 || status == 403 || status == 404) {
    GiveUp(queue, result, "it was deleted or its token is wrong");
  } else if (status >= 300 && status < 400) {
    // Posts are never redirected: the URL is not the webhook's own.
    GiveUp(queue, result,
           "it sends posts elsewhere, which the server does not follow: set \"discordwh\" to the "
           "webhook's own URL");
  } else if (status >= 400 && status < 500) {
    Refused(queue, result, now);
  } else {
    queue.in_flight = 0;
    Failed(queue, result.text, status >= 500 ? counters_.retries_5xx : counters_.retries_other,
           now);
  }
  if (queue.in_flight == 0) PostIfDue(queue, now);
}

void Delivery::Delivered(Queue& queue, const PostResult& result, DeliveryClock::time_point now) {
  for (std::size_t i = 0; i < queue.in_flight; ++i) {
    ++(queue.items.front().gap > 0 ? counters_.gaps : counters_.delivered);
    Drop(queue, queue.items.begin());
  }
  ++counters_.posts;
  queue.suspects -= std::min(queue.suspects, queue.in_flight);
  if (queue.suspects == 0) queue.split = 0;
  queue.in_flight = 0;
  queue.failures = 0;
  queue.blocks = 0;
  queue.failing = false;
  if (waiting_ * 10 <= options_.queue_limit * 9) overflow_reported_ = false;
  // The pace, measured from the answer, which comes after Discord counted the post; and the
  // webhook's own bucket when the answer says it is empty.
  queue.not_before = now + Interval();
  const std::string* remaining = Header(result, "x-ratelimit-remaining");
  if (remaining != nullptr && *remaining == "0") {
    const double reset_after = Seconds(Header(result, "x-ratelimit-reset-after"));
    if (reset_after > 0)
      queue.not_before = std::max(queue.not_before, now + FromSeconds(reset_after));
  }
}

void Delivery::RateLimited(Queue& queue, const PostResult& result, DeliveryClock::time_point now) {
  ++counters_.retries_429;
  ++retries_since_summary_;
  // Discord's wait: the Retry-After header, never the shorter X-RateLimit-Reset-After. (The
  // framework passes no body for a 429, so the body's retry_after cannot be read.)
  const double retry_after = Seconds(Header(result, "retry-after"));
  bool from_discord = false;
  bool global = false;
  for (const auto& [name, value] : result.headers) {
    const std::string lower = LowerAscii(name);
    if (lower.rfind("x-ratelimit-", 0) == 0) from_discord = true;
    if ((lower == "x-ratelimit-global" && LowerAscii(value) == "true") ||
        (lower == "x-ratelimit-scope" && LowerAscii(value) == "global")) {
      global = true;
    }
  }
  DeliveryClock::duration wait = FromSeconds(retry_after > 0 ? retry_after : 1.0);
  if (from_discord) {
    queue.blocks = 0;
  } else {
    wait = std::max(wait, Doubling(kFirstBlockWait, kLongestBlockWait, ++queue.blocks));
  }
  if (global) {
    global_resume_ = std::max(global_resume_, now + wait);
  } else {
    queue.not_before = now + wait;
  }
  FirstFailure(queue, result.text, now);
}

void Delivery::Failed(Queue& queue, const std::string& text, std::uint64_t& counter,
                      DeliveryClock::time_point now) {
  ++counter;
  ++retries_since_summary_;
  ++queue.failures;
  // Exponential back-off with jitter, so that many servers do not come back at once.
  const auto wait = Doubling(kFirstBackOff, kLongestBackOff, queue.failures);
  const double spread = 0.8 + 0.4 * std::uniform_real_distribution<double>(0, 1)(jitter_);
  queue.not_before = now + std::chrono::duration_cast<DeliveryClock::duration>(wait * spread);
  FirstFailure(queue, text, now);
}

void Delivery::Refused(Queue& queue, const PostResult& result, DeliveryClock::time_point now) {
  const std::size_t batch = queue.in_flight;
  queue.in_flight = 0;
  queue.failing = false;
  queue.not_before = now + Interval();
  if (batch > 1) {
    // One of them is refused: post halves until it is found; the others still go out, in order.
    queue.split = (batch + 1) / 2;
    queue.suspects = std::max(queue.suspects, batch);
    ++counters_.retries_other;
    return;
  }
  const Item& item = queue.items.front();
  const std::string line = fmt::format(
      "Discord refused the notification of {}'s command at {} ({}); the "
      "server log has the command",
      item.gap > 0 ? "several players" : item.notification.player,
      FormatLocalTime(item.notification.when), result.text);
  if (item.gap == 0) ++counters_.refused;
  Drop(queue, queue.items.begin());
  if (queue.suspects > 0 && --queue.suspects == 0) queue.split = 0;
  log_error_(line);
}

void Delivery::GiveUp(Queue& queue, const PostResult& result, std::string_view why) {
  std::size_t lost = 0;
  for (const Item& item : queue.items) lost += item.gap > 0 ? 0 : 1;
  while (!queue.items.empty()) Drop(queue, queue.items.begin());
  queue.in_flight = 0;
  queue.stopped = true;
  counters_.undeliverable += lost;
  log_error_(
      fmt::format("Discord answered {} for the webhook: {}. Nothing more is posted to it until "
                  "the plugin is reloaded; {} notifications were not delivered",
                  result.text, why, lost));
}

void Delivery::FirstFailure(Queue& queue, const std::string& text, DeliveryClock::time_point now) {
  if (summary_due_ == DeliveryClock::time_point{} || summary_due_ < now - kSummaryEvery) {
    summary_due_ = now + kSummaryEvery;
  }
  if (queue.failing) return;
  queue.failing = true;
  // The framework gives no text for a post that got no answer; it logs the reason itself.
  log_error_(fmt::format("Error sending command to Discord. Error: {}",
                         text.empty() ? "no response (connection failed or timed out)" : text));
}

void Delivery::Summarise(DeliveryClock::time_point now) {
  if (retries_since_summary_ == 0 || summary_due_ == DeliveryClock::time_point{} ||
      now < summary_due_) {
    return;
  }
  retries_since_summary_ = 0;
  summary_due_ = now + kSummaryEvery;
  log_error_(fmt::format(
      "Discord delivery: {} delivered in {} posts, {} waiting, {} retries "
      "(429: {}, 5xx: {}, other: {}), {} omitted",
      counters_.delivered, counters_.posts, waiting_, counters_.Retries(), counters_.retries_429,
      counters_.retries_5xx, counters_.retries_other, counters_.omitted));
}

}  // namespace quillmark
