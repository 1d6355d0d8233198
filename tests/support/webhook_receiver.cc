// The Discord stand-in on cpp-httplib.
#include "support/webhook_receiver.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

namespace quillmark::testing {
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

std::string DescribeWebhookPost(const std::string& body) {
  const json post = json::parse(body, nullptr, false);
  std::ostringstream out;
  const std::string poster = post.value("username", std::string("(webhook's own name)"));
  for (const json& embed : post.value("embeds", json::array())) {
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%06X", embed.value("color", 0));
    out << "[discord] " << poster << " | " << embed.value("title", std::string()) << " | colour "
        << colour << "\n";
    std::istringstream lines(embed.value("description", std::string()));
    for (std::string line; std::getline(lines, line);) out << "[discord]   " << line << "\n";
  }
  return out.str();
}

struct WebhookReceiver::State {
  Options options;
  httplib::Server server;
  int port = 0;
  std::thread listener;
  std::thread watchdog;
  std::mutex mutex;
  std::condition_variable changed;
  Fault fault = Fault::kNone;
  std::uint64_t release_generation = 0;
  bool stopping = false;
  bool stopped = false;
  std::vector<Received> received;
  std::map<std::string, std::deque<Clock::time_point>> recent;  // per webhook path

  void Handle(const httplib::Request& request, httplib::Response& response) {
    std::unique_lock lock(mutex);
    const std::size_t index = received.size();
    received.push_back({request.path, request.get_header_value("Content-Type"), request.body, 0});
    changed.notify_all();
    switch (fault) {
      case Fault::kServerError:
        response.status = 500;
        response.set_content(R"({"message": "500: Internal Server Error", "code": 0})",
                             "application/json");
        received[index].status = 500;
        return;
      case Fault::kCloseConnection:
        // The status line promises content, then the connection closes before any of it.
        response.set_content_provider(
            1000, "application/json",
            [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
        return;
      case Fault::kNeverAnswer: {
        const std::uint64_t generation = release_generation;
        changed.wait(lock, [&] { return stopping || release_generation != generation; });
        response.status = 204;
        received[index].status = 204;
        return;
      }
      case Fault::kNone:
        break;
    }
    auto& times = recent[request.path];
    const auto now = Clock::now();
    while (!times.empty() && now - times.front() >= options.rate_window) times.pop_front();
    const int limit = options.rate_limit;
    if (static_cast<int>(times.size()) >= limit) {
      const double retry_after =
          std::chrono::duration<double>(options.rate_window - (now - times.front())).count();
      response.status = 429;
      response.set_header("Retry-After", std::to_string(static_cast<int>(retry_after) + 1));
      response.set_header("X-RateLimit-Limit", std::to_string(limit));
      response.set_header("X-RateLimit-Remaining", "0");
      response.set_content(json{{"message", "You are being rate limited."},
                                {"retry_after", retry_after},
                                {"global", false}}
                               .dump(),
                           "application/json");
      received[index].status = 429;
      return;
    }
    times.push_back(now);
    response.set_header("X-RateLimit-Limit", std::to_string(limit));
    response.set_header("X-RateLimit-Remaining", std::to_string(limit - times.size()));
    const WebhookVerdict verdict =
        JudgeWebhookBody(request.body, request.get_header_value("Content-Type"));
    response.status = verdict.status;
    received[index].status = verdict.status;
    if (verdict.status != 204) {
      response.set_content(verdict.error_body, "application/json");
      return;
    }
    if (request.get_param_value("wait") == "true") {
      // With ?wait=true Discord answers 200 with the message it made.
      json message = json::parse(request.body);
      message = json{{"id", std::to_string(1000000 + index)}, {"embeds", message["embeds"]}};
      response.status = 200;
      received[index].status = 200;
      response.set_content(message.dump(), "application/json");
    }
    if (options.print != nullptr) {
      *options.print << DescribeWebhookPost(request.body) << std::flush;
    }
  }

  void Reset(int rate_limit) {
    std::lock_guard lock(mutex);
    ++release_generation;
    changed.notify_all();
    fault = Fault::kNone;
    received.clear();
    recent.clear();
    options.rate_limit = rate_limit;
  }

  void AddControl() {
    using httplib::Request;
    using httplib::Response;
    server.Post("/control/reset", [this](const Request& request, Response& response) {
      Reset(request.has_param("rate_limit") ? std::stoi(request.get_param_value("rate_limit")) : 5);
      response.status = 204;
    });
    server.Post("/control/fault", [this](const Request& request, Response& response) {
      static const std::map<std::string, Fault> kModes = {{"none", Fault::kNone},
                                                          {"500", Fault::kServerError},
                                                          {"close", Fault::kCloseConnection},
                                                          {"hang", Fault::kNeverAnswer}};
      const auto mode = kModes.find(request.get_param_value("mode"));
      if (mode == kModes.end()) {
        response.status = 400;
        return;
      }
      std::lock_guard lock(mutex);
      fault = mode->second;
      response.status = 204;
    });
    server.Post("/control/release", [this](const Request&, Response& response) {
      std::lock_guard lock(mutex);
      ++release_generation;
      changed.notify_all();
      response.status = 204;
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
  state.server.Post(R"(/api/webhooks/([^/]+)/([^/]+))",
                    [&state](const httplib::Request& request, httplib::Response& response) {
                      state.Handle(request, response);
                    });
  if (options.control) state.AddControl();
  // One request per connection, so that stopping never waits for an idle kept-alive one.
  state.server.set_keep_alive_max_count(1);
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

void WebhookReceiver::SetFault(Fault fault) {
  std::lock_guard lock(state_->mutex);
  state_->fault = fault;
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

}  // namespace quillmark::testing
