// The Discord stand-in as Windows tests reach it: a native discord-standin started with
// --control (its port in QUILLMARK_STANDIN_PORT), driven over its control requests. Each
// receiver made here resets it, so the tests that use it run one at a time.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "tools/webhook_receiver.h"

namespace quillmark::tools {
namespace {

void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

SOCKET LoopbackSocket(int port, bool connect_to) {
  StartWinsock();
  SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  const auto* raw = reinterpret_cast<const sockaddr*>(&address);
  const int result =
      connect_to ? connect(sock, raw, sizeof address) : bind(sock, raw, sizeof address);
  if (result != 0) {
    closesocket(sock);
    throw std::runtime_error("cannot reach the Discord stand-in on port " + std::to_string(port));
  }
  return sock;
}

// One control request; returns the response body.
std::string Call(int port, const std::string& method, const std::string& target) {
  SOCKET sock = LoopbackSocket(port, true);
  const std::string request =
      method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n";
  send(sock, request.data(), static_cast<int>(request.size()), 0);
  std::string response;
  char buffer[4096];
  for (int got; (got = recv(sock, buffer, sizeof buffer, 0)) > 0;) response.append(buffer, got);
  closesocket(sock);
  const auto body = response.find("\r\n\r\n");
  return body == std::string::npos ? std::string() : response.substr(body + 4);
}

int StandinPort() {
  const char* port = std::getenv("QUILLMARK_STANDIN_PORT");
  if (port == nullptr) {
    throw std::runtime_error(
        "QUILLMARK_STANDIN_PORT is not set: start discord-standin --control first");
  }
  return std::atoi(port);
}

}  // namespace

struct WebhookReceiver::State {
  int port = 0;
};

WebhookReceiver::WebhookReceiver(Options options) : state_(std::make_shared<State>()) {
  state_->port = options.port != 0 ? options.port : StandinPort();
  Call(state_->port, "POST",
       "/control/reset?rate_limit=" + std::to_string(options.rate_limit) +
           "&channel_limit=" + std::to_string(options.channel_limit) + "&global_limit=" +
           std::to_string(options.global_limit) + "&scale=" + std::to_string(options.time_scale));
}

WebhookReceiver::~WebhookReceiver() {
  try {
    ReleaseHeld();
  } catch (...) {  // NOLINT(bugprone-empty-catch): the stand-in may be gone already
  }
}

int WebhookReceiver::Port() const { return state_->port; }

std::string WebhookReceiver::Url(const std::string& id, const std::string& token) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + "/api/webhooks/" + id + "/" + token;
}

void WebhookReceiver::SetFault(Fault fault, std::chrono::milliseconds span) {
  SetFaults({{fault, span}});
}

void WebhookReceiver::SetFaults(const std::vector<Phase>& phases) {
  std::string list;
  for (const Phase& phase : phases) {
    const char* mode = phase.fault == Fault::kServerError       ? "500"
                       : phase.fault == Fault::kCloseConnection ? "close"
                       : phase.fault == Fault::kNeverAnswer     ? "hang"
                       : phase.fault == Fault::kCutBody         ? "cut"
                       : phase.fault == Fault::kRedirect        ? "301"
                                                                : "none";
    if (!list.empty()) list += ",";
    list += std::string(mode) + ":" + std::to_string(phase.span.count());
  }
  Call(state_->port, "POST", "/control/fault?phases=" + list);
}

void WebhookReceiver::DeleteWebhook(const std::string& id) {
  Call(state_->port, "POST", "/control/delete?id=" + id);
}

WebhookReceiver::Summary WebhookReceiver::GetSummary() {
  const auto taken = nlohmann::json::parse(Call(state_->port, "GET", "/control/summary"));
  Summary summary;
  summary.messages = taken["messages"];
  summary.embeds = taken["embeds"];
  summary.limited_user = taken["user"];
  summary.limited_shared = taken["shared"];
  summary.limited_global = taken["global"];
  summary.refused = taken["refused"];
  for (const auto& order : taken["webhooks"]) {
    summary.webhooks.push_back(
        {order["webhook"], order["numbered"], order["out_of_order"], order["repeated"]});
  }
  for (const auto& ping : taken["pings"]) summary.pings.push_back(ping);
  return summary;
}

void WebhookReceiver::ReleaseHeld() { Call(state_->port, "POST", "/control/release"); }

std::vector<WebhookReceiver::Received> WebhookReceiver::Requests() {
  std::vector<Received> received;
  for (const auto& item : nlohmann::json::parse(Call(state_->port, "GET", "/control/requests"))) {
    received.push_back({item["path"], item["content_type"], item["body"], item["status"]});
  }
  return received;
}

bool WebhookReceiver::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) {
  const auto list =
      nlohmann::json::parse(Call(state_->port, "GET",
                                 "/control/requests?count=" + std::to_string(count) +
                                     "&timeout_ms=" + std::to_string(timeout.count())));
  return list.size() >= count;
}

void WebhookReceiver::Wait() {}
void WebhookReceiver::Stop() {}

std::string WebhookReceiver::RefusingUrl() {
  // A port that was free a moment ago; nothing listens on it once the probe is closed.
  SOCKET probe = LoopbackSocket(0, false);
  sockaddr_in address{};
  int length = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/api/webhooks/1234/token";
}

}  // namespace quillmark::tools
