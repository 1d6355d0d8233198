// What the notifier takes from the configuration: the webhook, the name posts go out under, the
// delivery's pace and bound, and which commands are posted.
#pragma once

#include <string>
#include <vector>

#include "base/config.h"
#include "host/libraries.h"
#include "notify/alerts.h"
#include "notify/delivery.h"

namespace quillmark {

inline constexpr char kDefaultPoster[] = "No message";

// What the notifier takes from the configuration, read once when the configuration is put in
// force.
struct NotifySettings {
  std::string webhook;                  // "discordwh"; empty: nothing is posted
  std::string poster = kDefaultPoster;  // "messages"."sender", as Discord will show it
  DeliveryOptions delivery;             // "discord": "posts-per-minute", "queue-limit"
  // "discord"."notify": "blocked" posts only blocked console commands and RCON commands; "all"
  // (the default) posts every command.
  bool blocked_only = false;
  // "alerts": the rules whose commands' posts ping, posted whatever "notify" says.
  std::vector<AlertRule> alerts{};
};

// Reads "discordwh", "alerts" (see alerts.h) and, when a webhook is named, "discord" and
// "messages"."sender" from `config`. Each problem adds one, with its place, to `problems`: a
// "discordwh" that is not text turns notifications off; a "messages" or "sender" of the wrong type,
// and a name Discord refuses (empty, over 80 characters, or holding "discord" or "clyde" in any
// letter case), leave the default name "No message", so that posts still go out; a "discord"
// setting out of its range or of the wrong type keeps its default. Never throws.
NotifySettings ReadNotifySettings(const nlohmann::json& config,
                                  std::vector<ConfigProblem>& problems);

}  // namespace quillmark
