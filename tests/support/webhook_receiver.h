// A stand-in for Discord's execute-webhook endpoint on 127.0.0.1: it checks each post the way
// Discord does (JSON, an embed or content, field limits, the poster name, a rate limit per
// webhook), answers as Discord answers, prints each embed readably, and can be told to fail.
// On Windows, where the HTTP server library is not available, the same class drives a native
// stand-in started with control on (its port in QUILLMARK_STANDIN_PORT).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace quillmark::testing {

// Discord's answer to one post body: the status and, for a refusal, its JSON error body.
struct WebhookVerdict {
  int status = 204;
  std::string error_body;
};
WebhookVerdict JudgeWebhookBody(const std::string& body, const std::string& content_type);

// A readable rendering of a valid post: poster, title, colour and each description line.
std::string DescribeWebhookPost(const std::string& body);

class WebhookReceiver {
 public:
  enum class Fault {
    kNone,
    kServerError,      // 500 Internal Server Error
    kCloseConnection,  // the connection is closed before a complete answer
    kNeverAnswer,      // the request is held until ReleaseHeld or shutdown
  };
  struct Options {
    int port = 0;                                                  // 0: any free port
    std::chrono::milliseconds lifetime{std::chrono::minutes(10)};  // then it stops by itself
    std::ostream* print = nullptr;                                 // where embeds are shown
    int rate_limit = 5;                                            // posts per window
    std::chrono::milliseconds rate_window{2000};
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
  void SetFault(Fault fault);
  // Lets every held request go; they are then answered with 204.
  void ReleaseHeld();
  [[nodiscard]] std::vector<Received> Requests();
  // Waits until `count` requests have arrived (held ones included), or `timeout` passes.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout);
  // Waits until the receiver has stopped (lifetime over, or Stop).
  void Wait();
  void Stop();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace quillmark::testing
