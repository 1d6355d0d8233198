// The notifier: its settings read from the configuration, and notifications handed to the
// delivery queues, which the host's frames drive and the host's request service carries.
#include "notify/discord.h"

#include <exception>
#include <memory>
#include <type_traits>
#include <unordered_map>

#include "audit/audit_text.h"
#include "base/logger.h"
#include "host/host.h"
#include "host/host_text.h"
#include "host/libraries.h"

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

// The configured name as Discord will show it, through the host's text types (a byte sequence
// that is not UTF-8 becomes U+FFFD); empty when Discord would refuse it, with the reason added
// to `problems`.
std::string CheckedPoster(const std::string& sender, std::vector<ConfigProblem>& problems) {
  const FString host_text(AsaApi::Tools::Utf8Decode(sender).c_str());
  const std::string name = FStringToUtf8(host_text);
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

namespace {

// Posts through the host's request service, with short time-outs for each socket operation (the
// service has no deadline for a whole post: the delivery keeps its own). Nothing the callback
// throws leaves it: the framework would let it into the game's tick. A result lost so is a post
// without an answer, which the delivery gives up on after a while.
class HostTransport final : public PostTransport {
 public:
  bool Post(const std::string& url, const std::string& body,
            std::function<void(PostResult)> done) override {
    constexpr long kTimeoutSeconds = 10;
    return API::Requests::Get().CreatePostRequest(
        url,
        [done = std::move(done)](bool success, std::string text,
                                 std::unordered_map<std::string, std::string> headers) {
          try {
            done({success, std::move(text), std::move(headers)});
          } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the result
          }
        },
        body, "application/json", {}, kTimeoutSeconds, kTimeoutSeconds, kTimeoutSeconds);
  }
};

constexpr HostChar kTickId[] = HOST_TEXT("quillmark.delivery");

HostTransport& Transport() {
  static HostTransport transport;
  return transport;
}

std::unique_ptr<Delivery>& TheDelivery() {
  static std::unique_ptr<Delivery> delivery;
  return delivery;
}

}  // namespace

void StartNotifier(const DeliveryOptions& options) {
  TheDelivery() = std::make_unique<Delivery>(
      options, Transport(), [] { return DeliveryClock::now(); },
      [](const std::string& line) { LogError(line); });
  AsaApi::GetCommands().AddOnTickCallback(FString(kTickId), [](float) {
    try {
      if (TheDelivery()) TheDelivery()->Tick();
    } catch (const std::exception& e) {
      LogFailure("Discord delivery failed", e.what());
    } catch (...) {
      LogFailure("Discord delivery failed", "unknown error");
    }
  });
}

void ReconfigureNotifier(const DeliveryOptions& options) {
  if (TheDelivery()) TheDelivery()->Reconfigure(options);
}

void StopNotifier() {
  if (!TheDelivery()) return;
  AsaApi::GetCommands().RemoveOnTickCallback(FString(kTickId));
  // Under the framework a post's answer comes only on a later frame, and the framework drops it
  // when it unloads the plugin: what was in flight may well have arrived at Discord.
  const Delivery::Left left = TheDelivery()->Stop(std::chrono::seconds(1));
  TheDelivery().reset();
  if (left.not_posted + left.unknown + left.omitted > 0) {
    LogError(
        fmt::format("Discord delivery stopped with the plugin: {} notifications not posted, "
                    "{} posted whose answer did not reach the plugin before it stopped, {} "
                    "omitted while the queue was full and not yet counted in the channel; "
                    "the server log has their commands",
                    left.not_posted, left.unknown, left.omitted));
  }
}

void PostToDiscord(const NotifySettings& settings, std::string message, Notice notice,
                   std::string who, std::string sender, std::string shown) {
  if (settings.webhook.empty() || !TheDelivery()) return;
  static constexpr struct {
    const char* title;
    int colour;
  } kLooks[] = {{kAllowedTitle, kGreen}, {kBlockedTitle, kRed}, {kRconTitle, kBlue}};
  const auto& look = kLooks[static_cast<int>(notice)];
  try {
    TheDelivery()->Enqueue(settings.webhook, settings.poster,
                           {MakeEmbed(look.title, std::move(message), look.colour), std::move(who),
                            std::chrono::system_clock::now(), std::move(sender), std::move(shown)});
  } catch (const std::exception& e) {
    LogFailure("Error sending command to Discord. Error", e.what());
  }
}

bool AdmitNotification(const NotifySettings& settings, std::string_view sender,
                       std::string_view shown) {
  if (settings.webhook.empty() || !TheDelivery()) return false;
  return TheDelivery()->Admit(settings.webhook, settings.poster, sender, shown,
                              std::chrono::system_clock::now());
}

std::size_t WaitingNotifications() { return TheDelivery() ? TheDelivery()->Owed() : 0; }

}  // namespace quillmark
