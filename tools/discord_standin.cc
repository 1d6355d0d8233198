// discord-standin: a stand-in for Discord's webhook endpoint on 127.0.0.1, for trying a
// configuration without a network. It answers posts as Discord does and prints each embed.
//
//   discord-standin [--port N] [--lifetime SECONDS] [--rate-limit N] [--fail 500|close|hang]
//                   [--port-file FILE] [--control]
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "support/webhook_receiver.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;
extern "C" void OnSignal(int) { stop_requested = 1; }

int Usage() {
  std::cerr << "usage: discord-standin [--port N] [--lifetime SECONDS] [--rate-limit N] "
               "[--fail 500|close|hang] [--port-file FILE] [--control]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using quillmark::testing::WebhookReceiver;
  WebhookReceiver::Options options;
  options.print = &std::cout;
  options.lifetime = std::chrono::seconds(600);
  WebhookReceiver::Fault fault = WebhookReceiver::Fault::kNone;
  std::string port_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--control") {
      options.control = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    try {
      if (arg == "--port") {
        options.port = std::stoi(value);
      } else if (arg == "--lifetime") {
        options.lifetime = std::chrono::seconds(std::stoi(value));
      } else if (arg == "--port-file") {
        port_file = value;
      } else if (arg == "--rate-limit") {
        options.rate_limit = std::stoi(value);
      } else if (arg == "--fail" && value == "500") {
        fault = WebhookReceiver::Fault::kServerError;
      } else if (arg == "--fail" && value == "close") {
        fault = WebhookReceiver::Fault::kCloseConnection;
      } else if (arg == "--fail" && value == "hang") {
        fault = WebhookReceiver::Fault::kNeverAnswer;
      } else {
        return Usage();
      }
    } catch (const std::exception&) {
      return Usage();
    }
  }
  try {
    WebhookReceiver receiver(options);
    receiver.SetFault(fault);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::cout << "discord-standin: listening on http://127.0.0.1:" << receiver.Port()
              << "/api/webhooks/<id>/<token>" << std::endl;
    if (!port_file.empty()) std::ofstream(port_file) << receiver.Port() << "\n";
    std::thread watcher([&receiver] {
      while (stop_requested == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      receiver.Stop();
    });
    receiver.Wait();
    stop_requested = 1;
    watcher.join();
  } catch (const std::exception& e) {
    std::cerr << "discord-standin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
