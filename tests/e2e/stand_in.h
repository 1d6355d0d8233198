// Driving the stand-in server for end-to-end tests: a server folder with config.json, a Discord
// stand-in to post to, a script played through quillmark-sim, and its output sorted into what
// an operator would read: the plugin's log lines, the framework's, what the game received and
// ran, server messages, RCON replies and what the RCON listener saw.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/process.h"
#include "support/server_folder.h"
#include "tools/webhook_receiver.h"

namespace quillmark::testing {

using tools::WebhookReceiver;

// The number of characters (code points) of UTF-8 text, as Discord counts them.
inline std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

struct Play {
  int exit_code = -1;
  std::vector<std::string> log;        // the plugin's lines without their time prefix
  std::vector<std::string> framework;  // the framework's own lines, the same way
  std::vector<std::string> game;       // what the game's function received, and what it ran
  std::vector<std::string> server;     // server messages shown to players
  std::vector<std::string> rcon;       // RCON replies
  std::vector<std::string> net;        // what the RCON listener saw
  std::vector<std::string> operation;  // what the operator did (a config.json replaced)
  long long commands = 0;              // with --stats: console commands handled
  long long longest_us = 0;            // ... and the longest any took, in microseconds
  long peak_kib = 0;                   // the server's peak resident memory, where known
  std::vector<std::string> other;      // lines of a test plugin
  std::string err;
  std::string out;
};

// For a log line, "MM/DD/YY HH:MM [<logger>]...", the logger (the plugin's or the framework's)
// and whether the line ends in CR; null otherwise.
inline std::pair<const char*, bool> Stamped(const std::string& line) {
  constexpr std::string_view kShape = "00/00/00 00:00 [";
  if (line.size() < kShape.size()) return {nullptr, false};
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == '0' ? (line[i] < '0' || line[i] > '9') : line[i] != kShape[i]) {
      return {nullptr, false};
    }
  }
  const bool ends = line.back() == '\r';
  for (const char* logger : {"ASA:Quillmark", "API"}) {
    if (line.compare(kShape.size(), std::strlen(logger) + 1, std::string(logger) + "]") == 0) {
      return {logger, ends};
    }
  }
  return {nullptr, false};
}

// Sorts the server's standard output; a line of no known kind fails the test unless
// `other_prefix` begins it.
inline Play ParsePlay(const ProcessResult& result, const std::string& other_prefix = {}) {
  Play play;
  play.exit_code = result.exit_code;
  play.peak_kib = result.peak_kib;
  play.err = result.err;
  play.out = result.out;
  const std::vector<std::pair<std::string, std::vector<std::string>*>> plain = {
      {"[game] ", &play.game},
      {"[server] ", &play.server},
      {"[rcon] ", &play.rcon},
      {"[net] ", &play.net},
      {"[operator] ", &play.operation}};
  std::istringstream lines(result.out);
  // A log line whose message holds a line break goes on until a line ending in CR.
  std::vector<std::string>* open_log = nullptr;
  for (std::string line; std::getline(lines, line);) {
    if (open_log != nullptr) {
      const bool ends = !line.empty() && line.back() == '\r';
      open_log->back().append(1, '\n').append(line, 0, line.size() - (ends ? 1 : 0));
      if (ends) open_log = nullptr;
      continue;
    }
    if (const auto [logger, ends] = Stamped(line); logger != nullptr) {
      auto* log = std::string_view(logger) == "API" ? &play.framework : &play.log;
      log->push_back(line.substr(15, line.size() - 15 - (ends ? 1 : 0)));
      if (!ends) open_log = log;
      continue;
    }
    // The server's own lines end as the platform's text output does.
    if (!line.empty() && line.back() == '\r' && line.front() == '[') line.pop_back();
    const auto kind = std::find_if(plain.begin(), plain.end(),
                                   [&line](const auto& k) { return line.rfind(k.first, 0) == 0; });
    if (line.rfind("[stats] ", 0) == 0) {
      (void)std::sscanf(line.c_str(), "[stats] commands=%lld longest_us=%lld", &play.commands,
                        &play.longest_us);
    } else if (kind != plain.end()) {
      kind->second->push_back(line.substr(kind->first.size()));
    } else if (!other_prefix.empty() && line.rfind(other_prefix, 0) == 0) {
      play.other.push_back(line.substr(other_prefix.size()));
    } else {
      ADD_FAILURE() << "unexpected output line: " << line;
    }
  }
  return play;
}

// The Discord stand-in at Discord's limits, its time shrunk by kTimeScale, and a configuration
// whose pace is shrunk to match, so that a play's posts take milliseconds, not seconds.
class StandInTest : public ::testing::Test {
 protected:
  static constexpr int kTimeScale = 50;
  static WebhookReceiver::Options Scaled() {
    WebhookReceiver::Options options;
    options.time_scale = kTimeScale;
    return options;
  }

  void WriteConfig(nlohmann::json config) {
    if (!config.contains("discordwh")) config["discordwh"] = receiver_.Url();
    if (!config.contains("discord")) config["discord"] = {{"posts-per-minute", 30 * kTimeScale}};
    folder_.WriteConfig(config.dump(2));
  }

  // Plays `script` on the stand-in server with `plugin` as the plugin library (empty: the one in
  // the plugin's folder, where the framework looks).
  Play Run(const std::string& script, std::vector<std::string> args = {},
           const std::string& plugin = QUILLMARK_PLUGIN, const std::string& other_prefix = {}) {
    const auto script_path = folder_.Root() / "play.txt";
    std::ofstream(script_path, std::ios::binary) << script;
    std::vector<std::string> all = {"--server-dir", folder_.Root().string(), "--script",
                                    script_path.string()};
    if (!plugin.empty()) all.insert(all.end(), {"--plugin", plugin});
    all.insert(all.end(), args.begin(), args.end());
    const ProcessResult result = RunProcess(QUILLMARK_SIM, all);
    // A server that never started or was ended by a crash (a signal; an NTSTATUS on Windows)
    // explains every expectation that follows: say so first.
    if (result.exit_code < 0 || result.exit_code >= 128) {
      ADD_FAILURE() << "the stand-in server did not end by itself: exit code " << result.exit_code
                    << "\n"
                    << result.err;
    }
    return ParsePlay(result, other_prefix);
  }

  std::vector<nlohmann::json> Posts() {
    std::vector<nlohmann::json> posts;
    for (const auto& post : receiver_.Requests()) {
      EXPECT_EQ(post.status, 204) << post.body;
      posts.push_back(nlohmann::json::parse(post.body));
    }
    return posts;
  }
  // Every embed of every post Discord accepted, in the order they arrived.
  std::vector<nlohmann::json> Embeds() {
    std::vector<nlohmann::json> embeds;
    for (const auto& post : receiver_.Requests()) {
      if (post.status != 204 && post.status != 200) continue;
      const nlohmann::json body = nlohmann::json::parse(post.body);
      for (const nlohmann::json& embed : body["embeds"]) embeds.push_back(embed);
    }
    return embeds;
  }
  // What each embed says after "say " (to the end of that line), or its whole description when
  // it says nothing: the order and the gaps of a play of "say <n>" commands.
  std::vector<std::string> SaidInEmbeds() {
    std::vector<std::string> said;
    for (const nlohmann::json& embed : Embeds()) {
      const std::string description = embed["description"];
      const auto say = description.find("say ");
      said.push_back(say == std::string::npos
                         ? description
                         : description.substr(say + 4, description.find('\n', say) - say - 4));
    }
    return said;
  }

  ServerFolder folder_;
  WebhookReceiver receiver_{Scaled()};
};

}  // namespace quillmark::testing
