// A stand-in for Discord's execute-webhook endpoint on 127.0.0.1, with Discord's real limits:
// a bucket of 5 requests per 2 s for each webhook, 30 messages a minute for each channel
// (shared by the channel's webhooks, with a wait of about 40 s past it), and 50 requests a
// second in all; every answer carries the rate-limit headers. It checks each post the way
// Discord does (JSON, embeds and their lengths, the poster name), answers as Discord answers,
// prints each embed readably, can be told to fail for a while, and keeps a summary: messages,
// embeds, 429s by scope, refusals, and whether each webhook's embeds arrived in order. A time
// scale shrinks every window and wait, so that tests cover minutes of traffic in seconds.
// On Windows, where the HTTP server library is not available, the same class drives a native
// stand-in started with control on (its port in QUILLMARK_STANDIN_PORT).
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::tools {

// Discord's answer to one post body: the status and, for a refusal, its JSON error body. The
// body's "content" and "allowed_mentions" are checked as Discord checks them.
struct WebhookVerdict {
  int status = 204;
  std::string error_body;
};
WebhookVerdict JudgeWebhookBody(const std::string& body, const std::string& content_type);

// A readable rendering of a valid post: poster, title, colour and each description line as
// Discord shows it (see RenderedMarkdown), and the pings it makes (see WebhookPings).
std::string DescribeWebhookPost(const std::string& body);

// Whom a valid post pings, as Discord would: "role <id>", "user <id>", "everyone" (for
// @everyone and @here), each once, in the order its content names them: the mentions in its
// content that its "allowed_mentions" allows (every one when it has none). Mentions in embeds
// never ping.
std::vector<std::string> WebhookPings(const std::string& body);

// What Discord shows of a text where markdown is escaped: a backslash before ASCII punctuation
// shows that character alone. Other markdown is kept as written; `unescaped`, when given, gets
// the number of characters left that Discord's markdown would read (see markdown.h's set).
std::string RenderedMarkdown(std::string_view text, std::size_t* unescaped = nullptr);

// The command numbers of a post's embeds, in order: N for each embed whose "Executed: " line is
// a word and a number N ("say 17"), as the tests and floods number their commands; other embeds
// (a gap embed, a command of another shape) give none.
std::vector<long long> CommandNumbers(const std::string& body);

class WebhookReceiver {
 public:
  enum class Fault {
    kNone,
    kServerError,      // 500 Internal Server Error
    kCloseConnection,  // a 500 status line, then the connection closes before the rest
    kNeverAnswer,      // the request is held until ReleaseHeld, the phase ends, or shutdown
    kCutBody,          // the answer Discord would give, its body cut short after the headers
    kRedirect,         // 301 Moved Permanently to the same URL, as a web server in front might
  };
  // A fault for a span of time, then the next; a span of zero lasts until changed.
  struct Phase {
    Fault fault = Fault::kNone;
    std::chrono::milliseconds span{0};
  };
  struct Options {
    int port = 0;                                                  // 0: any free port
    std::chrono::milliseconds lifetime{std::chrono::minutes(10)};  // then it stops by itself
    std::ostream* print = nullptr;                                 // where embeds are shown
    int rate_limit = 5;  // requests per webhook per window
    std::chrono::milliseconds rate_window{2000};
    int channel_limit = 30;  // messages per channel per window
    std::chrono::milliseconds channel_window{60000};
    std::chrono::milliseconds channel_wait{40000};  // what a 429 of scope "shared" asks
    int global_limit = 50;                          // requests per second, every webhook
    double time_scale = 1;                          // every window and wait is divided by it
    // Which webhook ids share a channel: id -> channel; an id not named has a channel of its own.
    std::map<std::string, std::string> channels;
    // Also answer /control/... requests, through which a test in another process (a Windows
    // test under Wine) drives this receiver as if it were its own.
    bool control = false;
  };
  struct Received {
    std::string path;
    std::string content_type;
    std::string body;
    int status = 0;  // 0 while held or when the connection was closed
  };
  struct Summary {
    std::size_t messages = 0;  // posts accepted
    std::size_t embeds = 0;    // embeds in them
    std::size_t limited_user = 0;
    std::size_t limited_shared = 0;
    std::size_t limited_global = 0;
    std::size_t refused = 0;  // 400s
    struct Order {
      std::string webhook;
      std::size_t numbered = 0;      // embeds that say which command they are
      std::size_t out_of_order = 0;  // ... that came after a later one
      std::size_t repeated = 0;      // ... that came a second time
    };
    std::vector<Order> webhooks;
    std::vector<std::string> pings;  // of every post accepted, in order (see WebhookPings)
    // Several lines, as the stand-in prints them when it stops.
    [[nodiscard]] std::string Text() const;
  };

  explicit WebhookReceiver(Options options);
  WebhookReceiver() : WebhookReceiver(Options{}) {}
  ~WebhookReceiver();
  WebhookReceiver(const WebhookReceiver&) = delete;
  WebhookReceiver& operator=(const WebhookReceiver&) = delete;

  [[nodiscard]] int Port() const;
  [[nodiscard]] std::string Url(const std::string& id = "1234",
                                const std::string& token = "token") const;
  // A webhook URL on 127.0.0.1 where nothing listens: posting to it is refused.
  static std::string RefusingUrl();
  // `fault` from now on, for `span` (zero: until changed), then none.
  void SetFault(Fault fault, std::chrono::milliseconds span = std::chrono::milliseconds(0));
  // The phases one after the other, from now on, then none.
  void SetFaults(const std::vector<Phase>& phases);
  // Discord no longer knows the webhook `id`: 404 with code 10015.
  void DeleteWebhook(const std::string& id);
  // Lets every held request go; they are then answered as usual.
  void ReleaseHeld();
  [[nodiscard]] std::vector<Received> Requests();
  [[nodiscard]] Summary GetSummary();
  // Waits until `count` requests have arrived (held ones included), or `timeout` passes.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout);
  // Waits until the receiver has stopped (lifetime over, or Stop).
  void Wait();
  void Stop();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// A fault by the name the stand-in's options and control requests give it: "none", "500",
// "close", "hang", "cut" or "301".
std::optional<WebhookReceiver::Fault> ParseFault(const std::string& mode);

}  // namespace quillmark::tools
