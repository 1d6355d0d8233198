// The delivery queues driven by generated traffic, answers and clock steps: success with and
// without Discord's rate-limit headers, refusals (400), a deleted webhook (404, 401), 429s with
// every kind of wait or none, failures of Discord (5xx), posts that get no answer, posts the
// host will not take, and new settings. After every step: at most one post in flight per
// webhook, every post within Discord's limits, each webhook's commands delivered in the order
// they were handled and none twice, every notification delivered, waiting or counted, and the
// queues no longer than their bound. Some commands are alerts: a post pings exactly the
// mentions of the alert that leads it, holds no alert of other mentions, and pings nobody when
// no alert leads it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "audit/audit_text.h"
#include "fuzz_check.h"
#include "host/libraries.h"
#include "notify/delivery.h"

namespace {

using quillmark::PostResult;

struct Post {
  std::string url;
  std::string body;
  std::function<void(PostResult)> done;
  std::vector<long long> numbers;  // each embed's command number; -N for a gap of N omitted
  quillmark::DeliveryClock::time_point when;
};

// The command number an embed carries, or minus the count of a gap's omitted commands.
long long Number(const nlohmann::json& embed) {
  const std::string description = embed.value("description", std::string());
  const auto at = description.find("Executed: ");
  if (at == std::string::npos) return -std::stoll(description);
  return std::stoll(description.substr(at + 10, 12));
}

// A body Discord takes: JSON, 1 to 10 embeds, none over 4096 characters, 6000 in all. Returns
// the embeds' numbers.
std::vector<long long> WithinDiscordsLimits(const std::string& text) {
  const nlohmann::json body = nlohmann::json::parse(text, nullptr, false);
  FUZZ_CHECK(!body.is_discarded() && body["embeds"].is_array(), text);
  FUZZ_CHECK(!body["embeds"].empty() && body["embeds"].size() <= quillmark::kMaxEmbeds, text);
  std::size_t characters = 0;
  for (const nlohmann::json& embed : body["embeds"]) {
    const std::size_t description =
        quillmark::CountCharacters(embed["description"].get<std::string>());
    FUZZ_CHECK(description <= quillmark::kMaxDescription, text);
    characters += description + quillmark::CountCharacters(embed["title"].get<std::string>());
  }
  FUZZ_CHECK(characters <= quillmark::kMaxEmbedCharacters, text);
  FUZZ_CHECK(body["allowed_mentions"]["parse"] == nlohmann::json::array(), text);
  // An alert's embed says "ping <its content>".
  const auto ping = [](const nlohmann::json& embed) {
    const std::string description = embed.value("description", std::string());
    const auto at = description.find("\nping ");
    return at == std::string::npos
               ? std::string()
               : description.substr(at + 6, description.find('\n', at + 1) - at - 6);
  };
  const std::string lead = ping(body["embeds"][0]);
  FUZZ_CHECK(body.value("content", std::string()) == lead, text);
  for (const nlohmann::json& embed : body["embeds"]) {
    FUZZ_CHECK(ping(embed).empty() || ping(embed) == lead, text);
  }
  if (!lead.empty()) {
    const auto& allowed = body["allowed_mentions"];
    FUZZ_CHECK(allowed["roles"] == nlohmann::json::parse(R"(["1"])"), text);
    FUZZ_CHECK(allowed["users"] ==
                   (lead == "<@&1>" ? nlohmann::json::array() : nlohmann::json::parse(R"(["2"])")),
               text);
  }
  std::vector<long long> numbers;
  for (const nlohmann::json& embed : body["embeds"]) numbers.push_back(Number(embed));
  return numbers;
}

// Keeps the posts not yet answered, for the fuzzer to answer in any order.
class Transport final : public quillmark::PostTransport {
 public:
  explicit Transport(const quillmark::DeliveryClock::time_point& now) : now_(now) {}
  bool Post(const std::string& url, const std::string& body,
            std::function<void(PostResult)> done) override {
    if (refuse) return false;
    // One post in flight per webhook, unless the one before got no answer for so long that the
    // delivery gave it up: that one is never answered here.
    for (const auto& open : open_) {
      FUZZ_CHECK(open.url != url || now_ - open.when >= quillmark::kAnswerDeadline,
                 "two posts in flight: " + url);
    }
    std::erase_if(open_, [&url](const ::Post& open) { return open.url == url; });
    open_.push_back({url, body, std::move(done), WithinDiscordsLimits(body), now_});
    return true;
  }
  std::vector<::Post>& Open() { return open_; }
  bool refuse = false;

 private:
  const quillmark::DeliveryClock::time_point& now_;
  std::vector<::Post> open_;
};

struct Answer {
  const char* status;  // "" for no answer
  std::unordered_map<std::string, std::string> headers;
};

const std::vector<Answer>& Answers() {
  static const std::vector<Answer> answers = {
      {"204 No Content", {}},
      {"204 No Content", {{"X-RateLimit-Remaining", "0"}, {"X-RateLimit-Reset-After", "1.5"}}},
      {"204 No Content", {{"x-ratelimit-remaining", "0"}, {"x-ratelimit-reset-after", "nan"}}},
      {"204 No Content", {{"X-RateLimit-Remaining", "0"}, {"X-RateLimit-Reset-After", "1e300"}}},
      {"400 Bad Request", {}},
      {"413 Payload Too Large", {}},
      {"404 Not Found", {}},
      {"401 Unauthorized", {}},
      {"429 Too Many Requests", {}},
      {"429 Too Many Requests", {{"Retry-After", "2"}, {"X-RateLimit-Scope", "user"}}},
      {"429 Too Many Requests", {{"Retry-After", "40"}, {"X-RateLimit-Scope", "shared"}}},
      {"429 Too Many Requests", {{"Retry-After", "0.25"}, {"X-RateLimit-Global", "true"}}},
      {"429 Too Many Requests", {{"retry-after", "-3"}, {"X-RateLimit-Limit", "5"}}},
      {"429 Too Many Requests", {{"Retry-After", "1e308"}, {"X-RateLimit-Scope", "global"}}},
      {"429 Too Many Requests", {{"Retry-After", "soon"}}},
      {"500 Internal Server Error", {}},
      {"502 Bad Gateway", {}},
      {"", {}},
      {"garbage", {}},
  };
  return answers;
}

constexpr std::array<std::int64_t, 8> kSteps = {0, 5, 100, 1000, 2000, 40000, 300000, 3600000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  auto now = quillmark::DeliveryClock::time_point(std::chrono::hours(1000));
  Transport transport(now);
  quillmark::DeliveryOptions options{in.ConsumeIntegralInRange(1, 120),
                                     in.ConsumeIntegralInRange<std::size_t>(1, 40)};
  std::size_t largest_bound = options.queue_limit;
  quillmark::Delivery delivery(
      options, transport, [&now] { return now; },
      [](const std::string& line) { FUZZ_CHECK(line.find('\n') == std::string::npos, line); });

  std::uint64_t enqueued = 0;
  long long next = 1;
  std::map<std::string, long long> last_delivered;  // by webhook
  std::uint64_t delivered = 0;
  std::uint64_t shown_as_omitted = 0;
  bool answers_taken = true;  // no answer waits for the next frame
  // A frame of the game. A post still unanswered when the frame begins past its deadline is given
  // up by the delivery (it is counted failed and posted again): it is never answered here.
  const auto tick = [&] {
    std::erase_if(transport.Open(), [&now](const ::Post& open) {
      return now - open.when >= quillmark::kAnswerDeadline;
    });
    delivery.Tick();
  };

  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
      case 0:
      case 1: {  // a command handled
        const std::string webhook = "https://discord.com/api/webhooks/" +
                                    std::to_string(in.ConsumeIntegralInRange(1, 3)) + "/token";
        std::string description = "Executed: " + std::to_string(next++) + "\n";
        std::vector<std::string> mentions;
        switch (in.ConsumeIntegralInRange(0, 5)) {
          case 0:
            mentions = {"<@&1>"};
            break;
          case 1:
            mentions = {"<@2>", "<@&1>"};
            break;
          default:
            break;
        }
        if (!mentions.empty()) {
          description += "ping";
          for (const std::string& mention : mentions) description += " " + mention;
          description += "\n";
        }
        description.append(in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange(0, 5000), 'x');
        const std::string sender = "E" + std::to_string(in.ConsumeIntegralInRange(1, 3));
        delivery.Enqueue(
            webhook, "Quillmark",
            {quillmark::MakeEmbed(quillmark::kAllowedTitle, description, quillmark::kGreen),
             "Rex (0002)", std::chrono::system_clock::time_point{}, sender, "Rex",
             std::move(mentions)});
        ++enqueued;
        break;
      }
      case 2:
        tick();
        answers_taken = true;
        break;
      case 3:
        now += std::chrono::milliseconds(kSteps[in.ConsumeIntegralInRange<std::size_t>(0, 7)]);
        tick();
        answers_taken = true;
        break;
      case 4: {  // an answer to one of the posts in flight
        auto& open = transport.Open();
        if (open.empty()) break;
        const std::size_t which = in.ConsumeIntegralInRange<std::size_t>(0, open.size() - 1);
        ::Post post = std::move(open[which]);
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(which));
        const Answer& answer =
            Answers()[in.ConsumeIntegralInRange<std::size_t>(0, Answers().size() - 1)];
        const bool success = std::string(answer.status).rfind('2', 0) == 0;
        if (success) {
          for (const long long number : post.numbers) {
            if (number < 0) {
              shown_as_omitted += static_cast<std::uint64_t>(-number);
              continue;
            }
            FUZZ_CHECK(number > last_delivered[post.url], post.body);  // in order, once
            last_delivered[post.url] = number;
            ++delivered;
          }
        }
        post.done({success, answer.status, answer.headers});
        answers_taken = in.ConsumeBool();  // taken in this frame, or with others in a later one
        if (answers_taken) tick();
        break;
      }
      case 5:
        transport.refuse = in.ConsumeBool();
        break;
      default:
        options = {in.ConsumeIntegralInRange(1, 120),
                   in.ConsumeIntegralInRange<std::size_t>(1, 40)};
        largest_bound = std::max(largest_bound, options.queue_limit);
        delivery.Reconfigure(options);
        break;
    }

    const quillmark::DeliveryCounters& counters = delivery.Counters();
    FUZZ_CHECK(answers_taken ? counters.delivered == delivered : counters.delivered <= delivered,
               "delivered count");
    FUZZ_CHECK(counters.delivered + counters.refused + counters.undeliverable + counters.omitted +
                       delivery.Waiting() ==
                   enqueued,
               "a notification neither delivered, waiting nor counted");
    FUZZ_CHECK(shown_as_omitted <= counters.omitted, "more shown as omitted than were");
    FUZZ_CHECK(delivery.Waiting() <= largest_bound, "the queue past its bound");
    FUZZ_CHECK(delivery.WaitingBytes() <= quillmark::kQueueBytes, "the queue past its bytes");
    // Gaps: a sender's are at most one between two of its notifications, one before its first
    // and one after its last, which is in flight, and one counting after it; three webhooks of
    // three senders.
    FUZZ_CHECK(delivery.Owed() <= 2 * delivery.Waiting() + 3 * 9,
               fmt::format("gaps without bound: {} owed, {} waiting", delivery.Owed(),
                           delivery.Waiting()));
  }
  const quillmark::Delivery::Left left = delivery.Stop(std::chrono::milliseconds(0));
  FUZZ_CHECK(left.not_posted + left.unknown == delivery.Waiting(), "left at the stop");
  // What was omitted is left unless a gap that Discord accepted counted it (or a refused or
  // given-up gap dropped it).
  FUZZ_CHECK(left.omitted + shown_as_omitted <= delivery.Counters().omitted, "omitted at the stop");
  return 0;
}
