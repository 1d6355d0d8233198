// The Discord stand-in on cpp-httplib.
#include "tools/webhook_receiver.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

namespace quillmark::tools {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

// Characters as Discord counts them: code points.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

WebhookVerdict FormError(const json& path, const std::string& code, const std::string& message) {
  json errors = {{"_errors", {{{"code", code}, {"message", message}}}}};
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    errors = json{{it->get<std::string>(), errors}};
  }
  return {400, json{{"code", 50035}, {"errors", errors}, {"message", "Invalid Form Body"}}.dump()};
}

WebhookVerdict TooLong(const json& path, std::size_t limit) {
  return FormError(path, "BASE_TYPE_MAX_LENGTH",
                   "Must be " + std::to_string(limit) + " or fewer in length.");
}

// A Discord id: a snowflake, a number of 64 bits written in digits.
bool IsSnowflake(const json& id) {
  if (!id.is_string()) return false;
  const std::string& text = id.get_ref<const std::string&>();
  if (text.empty() || text.size() > 20 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  return text.size() < 20 || text <= "18446744073709551615";
}

// "allowed_mentions" as Discord takes it; 204 when it does.
WebhookVerdict JudgeAllowedMentions(const json& allowed) {
  if (!allowed.is_object())
    return FormError({"allowed_mentions"}, "DICT_TYPE_CONVERT", "Not a dictionary.");
  const auto parse = allowed.find("parse");
  std::vector<std::string> parsed;
  if (parse != allowed.end() && !parse->is_null()) {
    if (!parse->is_array()) {
      return FormError({"allowed_mentions", "parse"}, "LIST_TYPE_CONVERT", "Not a list.");
    }
    for (std::size_t i = 0; i < parse->size(); ++i) {
      const json& kind = (*parse)[i];
      if (!kind.is_string() || (kind != "roles" && kind != "users" && kind != "everyone")) {
        return FormError({"allowed_mentions", "parse", std::to_string(i)}, "ENUM_TYPE_COERCE",
                         "Value must be one of ('roles', 'users', 'everyone').");
      }
      parsed.push_back(kind);
    }
  }
  for (const char* list : {"roles", "users"}) {
    const auto ids = allowed.find(list);
    if (ids == allowed.end() || ids->is_null()) continue;
    if (std::find(parsed.begin(), parsed.end(), list) != parsed.end()) {
      return FormError({"allowed_mentions", "parse"}, "MESSAGE_ALLOWED_MENTIONS_PARSE_EXCLUSIVE",
                       std::string("parse:[\"") + list + "\"] and " + list +
                           ": [ids...] are mutually exclusive.");
    }
    if (!ids->is_array()) {
      return FormError({"allowed_mentions", list}, "LIST_TYPE_CONVERT", "Not a list.");
    }
    if (ids->size() > 100) return TooLong({"allowed_mentions", list}, 100);
    for (std::size_t i = 0; i < ids->size(); ++i) {
      if (!IsSnowflake((*ids)[i])) {
        return FormError({"allowed_mentions", list, std::to_string(i)}, "NUMBER_TYPE_COERCE",
                         "Value \"" + (*ids)[i].dump() + "\" is not snowflake.");
      }
    }
  }
  return {};
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

WebhookVerdict JudgeWebhookBody(const std::string& body, const std::string& content_type) {
  const WebhookVerdict empty{400, R"({"message": "Cannot send an empty message", "code": 50006})"};
  if (content_type.rfind("application/json", 0) != 0) return empty;
  const json post = json::parse(body, nullptr, false);
  if (post.is_discarded() || !post.is_object()) {
    return {400, R"({"message": "The request body contains invalid JSON.", "code": 50109})"};
  }
  bool has_content = false;
  if (const auto content = post.find("content"); content != post.end() && !content->is_null()) {
    if (!content->is_string()) return FormError({"content"}, "STRING_TYPE_CONVERT", "Not text.");
    if (Characters(*content) > 2000) return TooLong({"content"}, 2000);
    has_content = !content->get<std::string>().empty();
  }
  if (const auto allowed = post.find("allowed_mentions");
      allowed != post.end() && !allowed->is_null()) {
    if (WebhookVerdict verdict = JudgeAllowedMentions(*allowed); verdict.status != 204) {
      return verdict;
    }
  }
  bool has_embed = false;
  if (const auto embeds = post.find("embeds"); embeds != post.end() && !embeds->is_null()) {
    if (!embeds->is_array()) return FormError({"embeds"}, "LIST_TYPE_CONVERT", "Not a list.");
    if (embeds->size() > 10) return TooLong({"embeds"}, 10);
    std::size_t total = 0;
    for (std::size_t i = 0; i < embeds->size(); ++i) {
      const json& embed = (*embeds)[i];
      const std::string index = std::to_string(i);
      if (!embed.is_object()) {
        return FormError({"embeds", index}, "DICT_TYPE_CONVERT", "Not a dictionary.");
      }
      for (const auto& [field, limit] :
           {std::pair<const char*, std::size_t>{"title", 256}, {"description", 4096}}) {
        const auto value = embed.find(field);
        if (value == embed.end() || value->is_null()) continue;
        if (!value->is_string()) {
          return FormError({"embeds", index, field}, "STRING_TYPE_CONVERT", "Not text.");
        }
        const std::size_t length = Characters(*value);
        if (length > limit) return TooLong({"embeds", index, field}, limit);
        total += length;
      }
      if (const auto color = embed.find("color"); color != embed.end() && !color->is_null()) {
        if (!color->is_number_integer() || *color < 0 || *color > 16777215) {
          return FormError({"embeds", index, "color"}, "NUMBER_TYPE_MAX",
                           "Int value should be less than or equal to 16777215.");
        }
      }
    }
    if (total > 6000) return TooLong({"embeds"}, 6000);
    has_embed = !embeds->empty();
  }
  if (!has_content && !has_embed) return empty;
  if (const auto username = post.find("username"); username != post.end() && !username->is_null()) {
    if (!username->is_string()) return FormError({"username"}, "STRING_TYPE_CONVERT", "Not text.");
    const std::string name = *username;
    const std::size_t length = Characters(name);
    if (length < 1 || length > 80) {
      return FormError({"username"}, "BASE_TYPE_BAD_LENGTH", "Must be between 1 and 80 in length.");
    }
    const std::string lower = Lower(name);
    if (lower.find("clyde") != std::string::npos || lower.find("discord") != std::string::npos) {
      return FormError({"username"}, "USERNAME_INVALID_CONTAINS",
                       "Username cannot contain \"clyde\" or \"discord\"");
    }
  }
  return {};
}

std::vector<long long> CommandNumbers(const std::string& body) {
  std::vector<long long> numbers;
  const json post = json::parse(body, nullptr, false);
  if (!post.is_object()) return numbers;
  for (const json& embed : post.value("embeds", json::array())) {
    const std::string description = embed.value("description", std::string());
    const auto executed = description.find("Executed: ");
    if (executed == std::string::npos) continue;
    const auto start = executed + std::strlen("Executed: ");
    const auto end = std::min(description.find('\n', start), description.size());
    const std::string line = description.substr(start, end - start);  // "say 17"
    const auto space = line.find(' ');
    if (space == std::string::npos || space + 1 == line.size() ||
        line.find_first_not_of("0123456789", space + 1) != std::string::npos) {
      continue;
    }
    numbers.push_back(std::atoll(line.c_str() + space + 1));
  }
  return numbers;
}

std::string RenderedMarkdown(std::string_view text, std::size_t* unescaped) {
  constexpr std::string_view kMarkdown = "\\*_~`|><#-+[]():@";
  std::string out;
  std::size_t left = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (text[i] == '\\' && next != 0 && std::ispunct(next) != 0) {
      out += text[++i];
      continue;
    }
    if (kMarkdown.find(text[i]) != std::string_view::npos) ++left;
    out += text[i];
  }
  if (unescaped != nullptr) *unescaped = left;
  return out;
}

std::vector<std::string> WebhookPings(const std::string& body) {
  std::vector<std::string> pings;
  const json post = json::parse(body, nullptr, false);
  if (!post.is_object()) return pings;
  const auto content = post.find("content");
  if (content == post.end() || !content->is_string()) return pings;
  const std::string& text = content->get_ref<const std::string&>();
  const auto allowed = post.find("allowed_mentions");
  const bool everything = allowed == post.end() || allowed->is_null();
  const auto allows = [&](const char* kind, const std::string& id) {
    if (everything) return true;
    const json parse = allowed->value("parse", json::array());
    if (std::find(parse.begin(), parse.end(), kind) != parse.end()) return true;
    const json ids = allowed->value(kind, json::array());
    return !id.empty() && std::find(ids.begin(), ids.end(), id) != ids.end();
  };
  const auto add = [&pings](std::string ping) {
    if (std::find(pings.begin(), pings.end(), ping) == pings.end()) pings.push_back(ping);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 9, "@everyone") == 0 || text.compare(i, 5, "@here") == 0) {
      if (allows("everyone", "")) add("everyone");
      continue;
    }
    if (text.compare(i, 2, "<@") != 0) continue;
    std::size_t start = i + 2;
    const bool role = start < text.size() && text[start] == '&';
    if (role || (start < text.size() && text[start] == '!')) ++start;
    std::size_t end = start;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end == start || end >= text.size() || text[end] != '>') continue;
    const std::string id = text.substr(start, end - start);
    if (allows(role ? "roles" : "users", id)) add(std::string(role ? "role " : "user ") + id);
    i = end;
  }
  return pings;
}

std::string DescribeWebhookPost(const std::string& body) {
  const json post = json::parse(body, nullptr, false);
  std::ostringstream out;
  const std::string poster = post.value("username", std::string("(webhook's own name)"));
  for (const json& embed : post.value("embeds", json::array())) {
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%06X", embed.value("color", 0));
    out << "[discord] " << poster << " | " << embed.value("title", std::string()) << " | colour "
        << colour << "\n";
    std::istringstream lines(RenderedMarkdown(embed.value("description", std::string())));
    for (std::string line; std::getline(lines, line);) out << "[discord]   " << line << "\n";
  }
  const std::vector<std::string> pings = WebhookPings(body);
  for (std::size_t i = 0; i < pings.size(); ++i) {
    out << (i == 0 ? "[discord] pings " : ", ") << pings[i] << (i + 1 == pings.size() ? "\n" : "");
  }
  return out.str();
}

std::string WebhookReceiver::Summary::Text() const {
  std::ostringstream out;
  out << "discord-standin: " << messages << " messages, " << embeds << " embeds; 429s: user "
      << limited_user << ", shared " << limited_shared << ", global " << limited_global
      << "; 400s: " << refused << "\n";
  for (const Order& order : webhooks) {
    out << "discord-standin: webhook " << order.webhook << ": " << order.numbered
        << " numbered embeds, "
        << (order.out_of_order == 0 && order.repeated == 0 ? "in order" : "NOT in order") << " ("
        << order.out_of_order << " out of order, " << order.repeated << " repeated)\n";
  }
  out << "discord-standin: " << pings.size() << " pings";
  for (std::size_t i = 0; i < pings.size(); ++i) out << (i == 0 ? ": " : ", ") << pings[i];
  out << "\n";
  return out.str();
}

std::optional<WebhookReceiver::Fault> ParseFault(const std::string& mode) {
  static const std::map<std::string, WebhookReceiver::Fault> kModes = {
      {"none", WebhookReceiver::Fault::kNone},
      {"500", WebhookReceiver::Fault::kServerError},
      {"close", WebhookReceiver::Fault::kCloseConnection},
      {"hang", WebhookReceiver::Fault::kNeverAnswer},
      {"cut", WebhookReceiver::Fault::kCutBody},
      {"301", WebhookReceiver::Fault::kRedirect}};
  const auto it = kModes.find(mode);
  return it == kModes.end() ? std::nullopt : std::optional(it->second);
}

struct WebhookReceiver::State {
  // A fixed window of one webhook's requests, as Discord's buckets count them.
  struct Bucket {
    Clock::time_point start{};
    int used = 0;
  };
  struct Order {
    long long last = -1;
    Summary::Order counts;
  };

  Options options;
  httplib::Server server;
  int port = 0;
  std::thread listener;
  std::thread watchdog;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Phase> phases;
  Clock::time_point phases_start{};
  std::uint64_t release_generation = 0;
  bool stopping = false;
  bool stopped = false;
  std::vector<Received> received;
  std::map<std::string, Bucket> buckets;                          // by webhook id
  std::map<std::string, std::deque<Clock::time_point>> channels;  // messages, by channel
  std::deque<Clock::time_point> all_requests;
  std::map<std::string, bool> deleted;
  Summary summary;
  std::map<std::string, Order> orders;

  Clock::duration Scaled(std::chrono::milliseconds span) const {
    return std::chrono::duration_cast<Clock::duration>(span / options.time_scale);
  }

  // The fault in force at `now`, and when its phase ends (a day from now when it does not).
  std::pair<Fault, Clock::time_point> FaultAt(Clock::time_point now) const {
    const Clock::time_point never = now + std::chrono::hours(24);
    Clock::time_point start = phases_start;
    for (const Phase& phase : phases) {
      if (phase.span.count() == 0) return {phase.fault, never};
      const Clock::time_point end = start + phase.span;
      if (now < end) return {phase.fault, end};
      start = end;
    }
    return {Fault::kNone, never};
  }

  // Seconds as the headers carry them: whole seconds at Discord's own pace, fractions when the
  // time is scaled.
  std::string SecondsText(Clock::duration wait) const {
    const double seconds = std::chrono::duration<double>(wait).count();
    char text[32];
    if (options.time_scale == 1) {
      std::snprintf(text, sizeof text, "%.0f", std::ceil(seconds));
    } else {
      std::snprintf(text, sizeof text, "%.3f", seconds);
    }
    return text;
  }

  void BucketHeaders(httplib::Response& response, const std::string& webhook, const Bucket& bucket,
                     Clock::time_point now) const {
    const Clock::duration reset_after =
        std::max(Clock::duration(0), bucket.start + Scaled(options.rate_window) - now);
    const double reset_at = std::chrono::duration<double>(
                                std::chrono::system_clock::now().time_since_epoch() + reset_after)
                                .count();
    char reset[32];
    std::snprintf(reset, sizeof reset, "%.3f", reset_at);
    char after[32];
    std::snprintf(after, sizeof after, "%.3f", std::chrono::duration<double>(reset_after).count());
    response.set_header("X-RateLimit-Limit", std::to_string(options.rate_limit));
    response.set_header("X-RateLimit-Remaining",
                        std::to_string(std::max(0, options.rate_limit - bucket.used)));
    response.set_header("X-RateLimit-Reset", reset);
    response.set_header("X-RateLimit-Reset-After", after);
    response.set_header("X-RateLimit-Bucket",
                        std::to_string(std::hash<std::string>()(webhook) % 1000000007));
  }

  static void RateLimited(httplib::Response& response, const std::string& scope,
                          const std::string& retry_after, double seconds) {
    response.status = 429;
    response.set_header("Retry-After", retry_after);
    response.set_header("X-RateLimit-Scope", scope);
    if (scope == "global") response.set_header("X-RateLimit-Global", "true");
    response.set_content(json{{"message", "You are being rate limited."},
                              {"retry_after", seconds},
                              {"global", scope == "global"}}
                             .dump(),
                         "application/json");
  }

  void Handle(const httplib::Request& request, httplib::Response& response) {
    std::unique_lock lock(mutex);
    const std::size_t index = received.size();
    received.push_back({request.path, request.get_header_value("Content-Type"), request.body, 0});
    changed.notify_all();
    const std::string webhook = request.matches[1];
    auto [fault, fault_end] = FaultAt(Clock::now());
    switch (fault) {
      case Fault::kServerError:
        response.status = 500;
        response.set_content(R"({"message": "500: Internal Server Error", "code": 0})",
                             "application/json");
        received[index].status = 500;
        return;
      case Fault::kCloseConnection:
        CloseWithoutAnswer(response);
        return;
      case Fault::kNeverAnswer: {
        const std::uint64_t generation = release_generation;
        changed.wait_until(lock, fault_end,
                           [&] { return stopping || release_generation != generation; });
        if (release_generation == generation) {  // the phase ended: the connection is closed
          CloseWithoutAnswer(response);
          return;
        }
        break;
      }
      case Fault::kRedirect:
        response.status = 301;
        response.set_header("Location", request.path);
        received[index].status = 301;
        return;
      case Fault::kCutBody:
        received[index].status = Answer(webhook, request, response, Clock::now());
        CutBody(response);
        return;
      case Fault::kNone:
        break;
    }
    received[index].status = Answer(webhook, request, response, Clock::now());
  }

  // A 500 status line that promises content, then the connection closes before any of it.
  static void CloseWithoutAnswer(httplib::Response& response) {
    response.status = 500;
    CutBody(response);
  }

  // The answer's status line and headers, then the connection closes before its body.
  static void CutBody(httplib::Response& response) {
    response.body.clear();
    response.set_content_provider(
        1000, "application/json",
        [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
  }

  int Answer(const std::string& webhook, const httplib::Request& request,
             httplib::Response& response, Clock::time_point now) {
    if (deleted.count(webhook) != 0) {
      response.status = 404;
      response.set_content(R"({"message": "Unknown Webhook", "code": 10015})", "application/json");
      return 404;
    }
    // Every request counts toward the global limit.
    while (!all_requests.empty() && now - all_requests.front() >= Scaled(std::chrono::seconds(1))) {
      all_requests.pop_front();
    }
    if (static_cast<int>(all_requests.size()) >= options.global_limit) {
      const Clock::duration wait = all_requests.front() + Scaled(std::chrono::seconds(1)) - now;
      RateLimited(response, "global", SecondsText(wait),
                  std::chrono::duration<double>(wait).count());
      ++summary.limited_global;
      return 429;
    }
    all_requests.push_back(now);
    Bucket& bucket = buckets[webhook];
    if (now - bucket.start >= Scaled(options.rate_window)) bucket = {now, 0};
    if (bucket.used >= options.rate_limit) {
      BucketHeaders(response, webhook, bucket, now);
      const Clock::duration wait = bucket.start + Scaled(options.rate_window) - now;
      RateLimited(response, "user", SecondsText(wait), std::chrono::duration<double>(wait).count());
      ++summary.limited_user;
      return 429;
    }
    const auto named = options.channels.find(webhook);
    auto& channel = channels[named != options.channels.end() ? named->second : webhook];
    while (!channel.empty() && now - channel.front() >= Scaled(options.channel_window)) {
      channel.pop_front();
    }
    if (static_cast<int>(channel.size()) >= options.channel_limit) {
      // Past the channel's limit: a long wait, while the webhook's own headers may show room.
      BucketHeaders(response, webhook, bucket, now);
      const Clock::duration wait = Scaled(options.channel_wait);
      RateLimited(response, "shared", SecondsText(wait),
                  std::chrono::duration<double>(wait).count());
      ++summary.limited_shared;
      return 429;
    }
    ++bucket.used;
    BucketHeaders(response, webhook, bucket, now);
    const WebhookVerdict verdict =
        JudgeWebhookBody(request.body, request.get_header_value("Content-Type"));
    response.status = verdict.status;
    if (verdict.status != 204) {
      ++summary.refused;
      response.set_content(verdict.error_body, "application/json");
      return verdict.status;
    }
    channel.push_back(now);
    ++summary.messages;
    const json post = json::parse(request.body);
    summary.embeds += post.value("embeds", json::array()).size();
    for (std::string& ping : WebhookPings(request.body)) summary.pings.push_back(std::move(ping));
    Order& order = orders[webhook];
    order.counts.webhook = webhook;
    for (const long long number : CommandNumbers(request.body)) {
      ++order.counts.numbered;
      if (number == order.last) ++order.counts.repeated;
      if (number < order.last) ++order.counts.out_of_order;
      order.last = std::max(order.last, number);
    }
    if (request.get_param_value("wait") == "true") {
      // With ?wait=true Discord answers 200 with the message it made.
      response.status = 200;
      response.set_content(
          json{{"id", std::to_string(1000000 + received.size() - 1)}, {"embeds", post["embeds"]}}
              .dump(),
          "application/json");
    }
    if (options.print != nullptr) *options.print << DescribeWebhookPost(request.body) << std::flush;
    return response.status;
  }

  void Reset(const Options& fresh) {
    std::lock_guard lock(mutex);
    ++release_generation;
    changed.notify_all();
    phases.clear();
    received.clear();
    buckets.clear();
    channels.clear();
    all_requests.clear();
    deleted.clear();
    summary = {};
    orders.clear();
    options.rate_limit = fresh.rate_limit;
    options.channel_limit = fresh.channel_limit;
    options.global_limit = fresh.global_limit;
    options.time_scale = fresh.time_scale;
  }

  void SetPhases(std::vector<Phase> fresh) {
    std::lock_guard lock(mutex);
    phases = std::move(fresh);
    phases_start = Clock::now();
    changed.notify_all();
  }

  Summary TakeSummary() {
    std::lock_guard lock(mutex);
    Summary copy = summary;
    for (const auto& [webhook, order] : orders) copy.webhooks.push_back(order.counts);
    return copy;
  }

  void AddControl() {
    using httplib::Request;
    using httplib::Response;
    server.Post("/control/reset", [this](const Request& request, Response& response) {
      Options fresh;
      const auto number = [&request](const char* key, auto fallback) {
        return request.has_param(key)
                   ? static_cast<decltype(fallback)>(std::stod(request.get_param_value(key)))
                   : fallback;
      };
      fresh.rate_limit = number("rate_limit", fresh.rate_limit);
      fresh.channel_limit = number("channel_limit", fresh.channel_limit);
      fresh.global_limit = number("global_limit", fresh.global_limit);
      fresh.time_scale = number("scale", fresh.time_scale);
      Reset(fresh);
      response.status = 204;
    });
    // ?phases=<mode>:<ms>,<mode>:<ms>,... with modes none, 500, close, hang (0 ms: for good).
    server.Post("/control/fault", [this](const Request& request, Response& response) {
      std::vector<Phase> parsed;
      std::istringstream list(request.get_param_value("phases"));
      for (std::string item; std::getline(list, item, ',');) {
        const auto colon = item.find(':');
        const auto mode = ParseFault(item.substr(0, colon));
        if (!mode || colon == std::string::npos) {
          response.status = 400;
          return;
        }
        parsed.push_back({*mode, std::chrono::milliseconds(std::stoll(item.substr(colon + 1)))});
      }
      SetPhases(std::move(parsed));
      response.status = 204;
    });
    server.Post("/control/delete", [this](const Request& request, Response& response) {
      std::lock_guard lock(mutex);
      deleted[request.get_param_value("id")] = true;
      response.status = 204;
    });
    server.Post("/control/release", [this](const Request&, Response& response) {
      std::lock_guard lock(mutex);
      ++release_generation;
      changed.notify_all();
      response.status = 204;
    });
    server.Get("/control/summary", [this](const Request&, Response& response) {
      const Summary taken = TakeSummary();
      json webhooks = json::array();
      for (const Summary::Order& order : taken.webhooks) {
        webhooks.push_back({{"webhook", order.webhook},
                            {"numbered", order.numbered},
                            {"out_of_order", order.out_of_order},
                            {"repeated", order.repeated}});
      }
      response.set_content(json{{"messages", taken.messages},
                                {"embeds", taken.embeds},
                                {"user", taken.limited_user},
                                {"shared", taken.limited_shared},
                                {"global", taken.limited_global},
                                {"refused", taken.refused},
                                {"webhooks", webhooks},
                                {"pings", taken.pings}}
                               .dump(),
                           "application/json");
    });
    server.Get("/control/requests", [this](const Request& request, Response& response) {
      const std::size_t count =
          request.has_param("count") ? std::stoul(request.get_param_value("count")) : 0;
      const int timeout_ms =
          request.has_param("timeout_ms") ? std::stoi(request.get_param_value("timeout_ms")) : 0;
      std::unique_lock lock(mutex);
      changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                       [&] { return stopping || received.size() >= count; });
      json list = json::array();
      for (const Received& r : received) {
        list.push_back({{"path", r.path},
                        {"content_type", r.content_type},
                        {"body", r.body},
                        {"status", r.status}});
      }
      response.set_content(list.dump(), "application/json");
    });
  }

  void Stop() {
    {
      std::lock_guard lock(mutex);
      if (stopping) return;
      stopping = true;
      changed.notify_all();
    }
    server.stop();
  }
};

WebhookReceiver::WebhookReceiver(Options options) : state_(std::make_shared<State>()) {
  State& state = *state_;
  state.options = options;
  if (state.options.time_scale <= 0) state.options.time_scale = 1;
  state.server.Post(R"(/api/webhooks/([^/]+)/([^/]+))",
                    [&state](const httplib::Request& request, httplib::Response& response) {
                      state.Handle(request, response);
                    });
  if (options.control) state.AddControl();
  // One request per connection, so that stopping never waits for an idle kept-alive one.
  state.server.set_keep_alive_max_count(1);
  // Held requests must not starve the others: enough threads for every webhook's one post in
  // flight and the control requests.
  state.server.new_task_queue = [] { return new httplib::ThreadPool(16); };
  state.server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.status == 404) {
      response.set_content(R"({"message": "Unknown Webhook", "code": 10015})", "application/json");
    }
  });
  state.port = options.port == 0
                   ? state.server.bind_to_any_port("127.0.0.1")
                   : (state.server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
  if (state.port <= 0) throw std::runtime_error("webhook receiver: cannot listen on 127.0.0.1");
  state.listener = std::thread([&state] {
    state.server.listen_after_bind();
    std::lock_guard lock(state.mutex);
    state.stopped = true;
    state.changed.notify_all();
  });
  // Stopping a server that has not begun to listen would not stop it: wait until it listens.
  while (!state.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  state.watchdog = std::thread([&state] {
    std::unique_lock lock(state.mutex);
    if (!state.changed.wait_for(lock, state.options.lifetime, [&] { return state.stopping; })) {
      lock.unlock();
      state.Stop();
    }
  });
}

WebhookReceiver::~WebhookReceiver() {
  Stop();
  state_->listener.join();
  state_->watchdog.join();
}

int WebhookReceiver::Port() const { return state_->port; }

std::string WebhookReceiver::Url(const std::string& id, const std::string& token) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + "/api/webhooks/" + id + "/" + token;
}

void WebhookReceiver::SetFault(Fault fault, std::chrono::milliseconds span) {
  state_->SetPhases({{fault, span}});
}

void WebhookReceiver::SetFaults(const std::vector<Phase>& phases) { state_->SetPhases(phases); }

void WebhookReceiver::DeleteWebhook(const std::string& id) {
  std::lock_guard lock(state_->mutex);
  state_->deleted[id] = true;
}

void WebhookReceiver::ReleaseHeld() {
  std::lock_guard lock(state_->mutex);
  ++state_->release_generation;
  state_->changed.notify_all();
}

std::vector<WebhookReceiver::Received> WebhookReceiver::Requests() {
  std::lock_guard lock(state_->mutex);
  return state_->received;
}

WebhookReceiver::Summary WebhookReceiver::GetSummary() { return state_->TakeSummary(); }

bool WebhookReceiver::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->received.size() >= count; });
}

void WebhookReceiver::Wait() {
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [&] { return state_->stopped; });
}

void WebhookReceiver::Stop() { state_->Stop(); }

std::string WebhookReceiver::RefusingUrl() {
  // A receiver's port once it has stopped: nothing listens there any more.
  const WebhookReceiver gone;
  return gone.Url();
}

}  // namespace quillmark::tools
