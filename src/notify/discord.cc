// The notifier: notifications handed to the delivery queues, which the host's frames drive and
// the host's request service carries (its settings: notify_settings.cc).
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
                   std::string who, std::string sender, std::string shown,
                   std::vector<std::string> mentions) {
  if (settings.webhook.empty() || !TheDelivery()) return;
  static constexpr struct {
    const char* title;
    int colour;
  } kLooks[] = {{kAllowedTitle, kGreen},
                {kBlockedTitle, kRed},
                {kRconTitle, kBlue},
                {kPluginAllowedTitle, kTeal},
                {kPluginBlockedTitle, kPurple}};
  const auto& look = kLooks[static_cast<int>(notice)];
  try {
    TheDelivery()->Enqueue(settings.webhook, settings.poster,
                           {MakeEmbed(look.title, std::move(message), look.colour), std::move(who),
                            std::chrono::system_clock::now(), std::move(sender), std::move(shown),
                            std::move(mentions)});
  } catch (const std::exception& e) {
    LogFailure("Error sending command to Discord. Error", e.what());
  }
}

bool AdmitNotification(const NotifySettings& settings, std::string_view sender,
                       std::string_view shown, bool alert) {
  if (settings.webhook.empty() || !TheDelivery()) return false;
  return TheDelivery()->Admit(settings.webhook, settings.poster, sender, shown,
                              std::chrono::system_clock::now(), alert);
}

std::size_t WaitingNotifications() { return TheDelivery() ? TheDelivery()->Owed() : 0; }

}  // namespace quillmark
