// discord-standin: a stand-in for Discord's webhook endpoint on 127.0.0.1, with Discord's own
// limits, for trying a configuration without a network. It answers posts as Discord does and
// prints each embed; when it stops it prints a summary: messages, embeds, 429s by scope,
// refusals, and whether each webhook's embeds arrived in the order of their commands.
//
//   discord-standin [--port N] [--lifetime SECONDS] [--rate-limit N] [--channel-limit N]
//                   [--global-limit N] [--time-scale F] [--channel ID,ID,...]
//                   [--fail 500|close|hang|cut|301] [--fail-for SECONDS] [--port-file FILE]
//                   [--control]
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "tools/webhook_receiver.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;
extern "C" void OnSignal(int) { stop_requested = 1; }

// The usage, on standard output when it was asked for (exit status 0), else on the error output
// (exit status 2).
int Usage(bool asked = false) {
  (asked ? std::cout : std::cerr)
      << "usage: discord-standin [--port N] [--lifetime SECONDS] [--rate-limit N] "
         "[--channel-limit N] [--global-limit N] [--time-scale F] [--channel ID,ID,...] "
         "[--fail 500|close|hang|cut|301] [--fail-for SECONDS] [--port-file FILE] [--control]\n";
  return asked ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  using quillmark::tools::WebhookReceiver;
  WebhookReceiver::Options options;
  options.print = &std::cout;
  options.lifetime = std::chrono::seconds(600);
  WebhookReceiver::Fault fault = WebhookReceiver::Fault::kNone;
  double fail_for = 0;
  std::string port_file;
  int channel_count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(true);
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
      } else if (arg == "--channel-limit") {
        options.channel_limit = std::stoi(value);
      } else if (arg == "--global-limit") {
        options.global_limit = std::stoi(value);
      } else if (arg == "--time-scale") {
        options.time_scale = std::stod(value);
        if (options.time_scale <= 0) return Usage();
      } else if (arg == "--channel") {
        // These webhook ids share one channel.
        const std::string channel = "channel-" + std::to_string(++channel_count);
        std::istringstream ids(value);
        for (std::string id; std::getline(ids, id, ',');) options.channels[id] = channel;
      } else if (arg == "--fail") {
        const auto mode = quillmark::tools::ParseFault(value);
        if (!mode) return Usage();
        fault = *mode;
      } else if (arg == "--fail-for") {
        fail_for = std::stod(value);
      } else {
        return Usage();
      }
    } catch (const std::exception&) {
      return Usage();
    }
  }
  try {
    WebhookReceiver receiver(options);
    receiver.SetFault(fault, std::chrono::milliseconds(static_cast<long long>(fail_for * 1000)));
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
    std::cout << receiver.GetSummary().Text() << std::flush;
  } catch (const std::exception& e) {
    std::cerr << "discord-standin: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
