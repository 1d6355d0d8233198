// Alerts: the rules of config.json's "alerts", each naming the roles and users of the Discord
// channel to ping when a command it matches is posted. A rule matches by command word (whole
// words, ASCII letter case aside, "*" every word; without "commands", every word) and, with
// "blocked": true, only a blocked command. A line the console runs as several commands matches
// when any of its parts does, so that no word hides behind a "|".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/config.h"
#include "host/libraries.h"

namespace quillmark {

struct AlertRule {
  std::vector<std::string> words;     // lower-cased command words
  bool every_word = false;            // "*" among them, or no "commands"
  bool blocked_only = false;          // "blocked": true
  std::vector<std::string> mentions;  // "<@&ROLE_ID>" or "<@USER_ID>", each once, as written
};

// The most a post may name, as Discord takes it: 100 roles, 100 users, and a content of 2000
// characters for every mention of every rule, joined by spaces.
inline constexpr std::size_t kMaxMentionedIds = 100;
inline constexpr std::size_t kMaxContent = 2000;

// Whether `text` is a mention that pings one role ("<@&ID>") or one user ("<@ID>"): an id of 1
// to 20 digits that fits 64 bits, as Discord's ids (snowflakes) do.
bool IsMention(std::string_view text);
// Whether the mention names a role (else a user), and its id.
bool IsRoleMention(std::string_view mention);
std::string_view MentionId(std::string_view mention);

// Reads "alerts" from `config`. Each problem adds one error, with its place, to `problems`: a
// rule of the wrong shape is dropped, a mention that is not one is dropped, and so is a rule
// left with no mention; mentions past what one post may name are dropped. Never throws.
std::vector<AlertRule> ReadAlerts(const nlohmann::json& config,
                                  std::vector<ConfigProblem>& problems);

// The command words of a console line (UTF-8): the first word of the line and of every part the
// console runs, each once, split at blanks, ASCII letters lower-cased.
std::vector<std::string> AlertWords(std::string_view line);

// The mentions a post of `line` (UTF-8, as it reached the server) carries: those of every rule
// that matches it, each once, in the order of the rules. Empty when none matches.
std::vector<std::string> AlertMentions(const std::vector<AlertRule>& rules, std::string_view line,
                                       bool blocked);

}  // namespace quillmark
