// Driving the stand-in server for end-to-end tests: a server folder with config.json, a Discord
// stand-in to post to, a script played through quillmark-sim, and its output sorted into what
// an operator would read: the plugin's log lines, the framework's, what the game received and
// ran, server messages and RCON replies.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"
#include "support/server_folder.h"
#include "support/webhook_receiver.h"

namespace quillmark::testing {

struct Play {
  int exit_code = -1;
  std::vector<std::string> log;        // the plugin's lines without their time prefix
  std::vector<std::string> framework;  // the framework's own lines, the same way
  std::vector<std::string> game;       // what the game's function received, and what it ran
  std::vector<std::string> server;     // server messages shown to players
  std::vector<std::string> rcon;       // RCON replies
  std::vector<std::string> other;      // lines of a test plugin
  std::string err;
  std::string out;
};

// Sorts the server's standard output; a line of no known kind fails the test unless
// `other_prefix` begins it.
inline Play ParsePlay(const ProcessResult& result, const std::string& other_prefix = {}) {
  Play play;
  play.exit_code = result.exit_code;
  play.err = result.err;
  play.out = result.out;
  const std::regex stamped(R"(\d\d/\d\d/\d\d \d\d:\d\d (\[(ASA:Quillmark|API)\][^\r]*)(\r?))");
  const std::vector<std::pair<std::string, std::vector<std::string>*>> plain = {
      {"[game] ", &play.game}, {"[server] ", &play.server}, {"[rcon] ", &play.rcon}};
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
    std::smatch match;
    if (std::regex_match(line, match, stamped)) {
      auto* log = match[2] == "API" ? &play.framework : &play.log;
      log->push_back(match[1]);
      if (match[3].length() == 0) open_log = log;
      continue;
    }
    // The server's own lines end as the platform's text output does.
    if (!line.empty() && line.back() == '\r' && line.front() == '[') line.pop_back();
    const auto kind = std::find_if(plain.begin(), plain.end(),
                                   [&line](const auto& k) { return line.rfind(k.first, 0) == 0; });
    if (kind != plain.end()) {
      kind->second->push_back(line.substr(kind->first.size()));
    } else if (!other_prefix.empty() && line.rfind(other_prefix, 0) == 0) {
      play.other.push_back(line.substr(other_prefix.size()));
    } else {
      ADD_FAILURE() << "unexpected output line: " << line;
    }
  }
  return play;
}

class StandInTest : public ::testing::Test {
 protected:
  static WebhookReceiver::Options Relaxed() {
    WebhookReceiver::Options options;
    options.rate_limit = 1000;
    return options;
  }

  void WriteConfig(nlohmann::json config) {
    if (!config.contains("discordwh")) config["discordwh"] = receiver_.Url();
    folder_.WriteConfig(config.dump(2));
  }

  // Plays `script` on the stand-in server with `plugin` as the plugin library.
  Play Run(const std::string& script, std::vector<std::string> args = {},
           const std::string& plugin = QUILLMARK_PLUGIN, const std::string& other_prefix = {}) {
    const auto script_path = folder_.Root() / "play.txt";
    std::ofstream(script_path, std::ios::binary) << script;
    std::vector<std::string> all = {"--server-dir", folder_.Root().string(), "--plugin", plugin,
                                    "--script",     script_path.string()};
    all.insert(all.end(), args.begin(), args.end());
    return ParsePlay(RunProcess(QUILLMARK_SIM, all), other_prefix);
  }

  std::vector<nlohmann::json> Posts() {
    std::vector<nlohmann::json> posts;
    for (const auto& post : receiver_.Requests()) {
      EXPECT_EQ(post.status, 204) << post.body;
      posts.push_back(nlohmann::json::parse(post.body));
    }
    return posts;
  }

  ServerFolder folder_;
  WebhookReceiver receiver_{Relaxed()};
};

}  // namespace quillmark::testing
