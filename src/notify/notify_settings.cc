// The notifier's settings, read from the configuration: which webhook, under which name, at
// which pace, which commands are posted, and which ping. The configuration checker reads them as
// the plugin does.
#include "notify/notify_settings.h"

#include <utility>

#include "audit/audit_text.h"
#include "host/libraries.h"
#include "host/unicode.h"

namespace quillmark {
namespace {

// A whole number from `low` to `high` at `key` of the "discord" object, or its default.
void ReadSetting(const nlohmann::json& discord, const char* key, long long low, long long high,
                 auto& setting, std::vector<ConfigProblem>& problems) {
  const auto value = discord.find(key);
  if (value == discord.end()) return;
  if (value->is_number_integer() && value->get<long long>() >= low &&
      value->get<long long>() <= high) {
    setting = static_cast<std::remove_reference_t<decltype(setting)>>(value->get<long long>());
    return;
  }
  problems.push_back({fmt::format("/discord/{}", key),
                      fmt::format("config.json: \"discord\".\"{}\" must be a whole number from "
                                  "{} to {}, but is {}: {} applies",
                                  key, low, high, ShownConfigText(value->dump(), 100), setting)});
}

void ReadDeliveryOptions(const nlohmann::json& discord, DeliveryOptions& options,
                         std::vector<ConfigProblem>& problems) {
  if (!discord.is_object()) {
    problems.push_back(
        {"/discord",
         fmt::format("config.json: \"discord\" must be an object, but is {}: its defaults apply",
                     discord.type_name())});
    return;
  }
  ReadSetting(discord, "posts-per-minute", 1, 6000, options.posts_per_minute, problems);
  ReadSetting(discord, "queue-limit", 1, 1000000, options.queue_limit, problems);
}

// "discord"."notify": which commands reach the channel.
void ReadNotifyFilter(const nlohmann::json& discord, bool& blocked_only,
                      std::vector<ConfigProblem>& problems) {
  const auto notify = discord.find("notify");
  if (notify == discord.end()) return;
  if (notify->is_string() && (*notify == "all" || *notify == "blocked")) {
    blocked_only = *notify == "blocked";
    return;
  }
  problems.push_back(
      {"/discord/notify", fmt::format("config.json: \"discord\".\"notify\" must be \"all\" or "
                                      "\"blocked\", but is {}: every command is posted",
                                      ShownConfigText(notify->dump(), 100))});
}

// The configured name as Discord will show it, through the host's text (a byte sequence that is
// not UTF-8 becomes U+FFFD, and the text ends at a zero, as an FString made of it does); empty
// when Discord would refuse it, with the reason added to `problems`.
std::string CheckedPoster(const std::string& sender, std::vector<ConfigProblem>& problems) {
  std::u16string units = host::Utf8ToUtf16<char16_t>(sender);
  units.resize(std::char_traits<char16_t>::length(units.c_str()));
  const std::string name = host::Utf16ToUtf8(units.data(), units.size());
  const std::string lower = Lower(name);
  std::string reason;
  if (name.empty()) {
    reason = "is empty, which Discord refuses";
  } else if (const std::size_t length = CountCharacters(name); length > kMaxUsername) {
    reason =
        fmt::format("has {} characters, more than the {} Discord accepts", length, kMaxUsername);
  } else {
    for (const char* word : {"discord", "clyde"}) {
      if (lower.find(word) != std::string::npos) {
        reason = fmt::format("holds \"{}\", which Discord refuses in a poster's name", word);
        break;
      }
    }
  }
  if (reason.empty()) return name;
  problems.push_back(
      {"/messages/sender", fmt::format("config.json: \"messages\".\"sender\" {}: posts go out as "
                                       "\"{}\"",
                                       reason, kDefaultPoster)});
  return {};
}

}  // namespace

NotifySettings ReadNotifySettings(const nlohmann::json& config,
                                  std::vector<ConfigProblem>& problems) {
  NotifySettings settings;
  const auto off = [&problems](const char* path, const std::string& why) {
    problems.push_back({path, "config.json: " + why + ": Discord notifications are off"});
  };
  if (!config.is_object()) {
    if (!config.is_null())
      off("", fmt::format("the top level must be an object, but is {}", config.type_name()));
    return settings;
  }
  settings.alerts = ReadAlerts(config, problems);
  const auto webhook = config.find("discordwh");
  if (webhook == config.end()) return settings;
  if (!webhook->is_string()) {
    off("/discordwh", fmt::format("\"discordwh\" must be text, but is {}", webhook->type_name()));
    return settings;
  }
  settings.webhook = webhook->get<std::string>();
  if (settings.webhook.empty()) return settings;
  if (const auto discord = config.find("discord"); discord != config.end()) {
    ReadDeliveryOptions(*discord, settings.delivery, problems);
    if (discord->is_object()) ReadNotifyFilter(*discord, settings.blocked_only, problems);
  }
  const auto messages = config.find("messages");
  if (messages == config.end() || messages->is_null()) return settings;
  const auto keep_default = [&problems](const char* path, const std::string& why) {
    problems.push_back(
        {path, fmt::format("config.json: {}: posts go out as \"{}\"", why, kDefaultPoster)});
  };
  if (!messages->is_object()) {
    keep_default("/messages",
                 fmt::format("\"messages\" must be an object, but is {}", messages->type_name()));
    return settings;
  }
  const auto sender = messages->find("sender");
  if (sender == messages->end()) return settings;
  if (!sender->is_string()) {
    keep_default("/messages/sender", fmt::format("\"messages\".\"sender\" must be text, but is {}",
                                                 sender->type_name()));
    return settings;
  }
  if (std::string name = CheckedPoster(sender->get<std::string>(), problems); !name.empty()) {
    settings.poster = std::move(name);
  }
  return settings;
}

}  // namespace quillmark
