// The reload commands.
#include "plugin/reload.h"

#include <exception>

#include "audit/audit_text.h"
#include "base/config.h"
#include "base/logger.h"
#include "host/host.h"
#include "host/host_text.h"
#include "host/libraries.h"
#include "notify/discord.h"
#include "plugin/configuration.h"
#include "plugin/plugin.h"

namespace quillmark {
namespace {

// What is in force, for the reply and the log: counts only, and the webhook as on or off.
std::string InForce(const Configuration& configuration) {
  const AllowList& rules = configuration.allow_list;
  return fmt::format("{} white-list entries, {} admin entries, {} EOS ids, webhook {}",
                     rules.WhiteListEntries(), rules.AdminEntries(), rules.EosIds(),
                     configuration.notify.webhook.empty() ? "off" : "on");
}

FString HostMessage(const std::string& text) {
  const HostText units = AsaApi::Tools::Utf8Decode(text);
  return FString(units.c_str());
}

// A reload that failed in an unexpected way (out of memory): the rules in force are either the
// old or the new ones, never a mix, and the failure gets an error line when one can be written.
void ReportFailure(const char* what) noexcept {
  LogFailure("The reload of config.json failed", what);
}

void OnConsoleReload(APlayerController* player, FString* /*command*/, bool /*write_to_log*/) {
  try {
    AShooterPlayerController* controller = host::AsShooterController(player);
    const std::string eos_id =
        EscapeForDisplay(FStringToUtf8(AsaApi::IApiUtils::GetEOSIDFromController(controller)));
    const std::string reply = ReloadConfiguration(fmt::format("the player {}", eos_id));
    host::SendServerMessage(controller, HostMessage(reply));
  } catch (const std::exception& e) {
    ReportFailure(e.what());
  } catch (...) {
    ReportFailure("unknown error");
  }
}

void OnRconReload(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  try {
    FString reply = HostMessage(ReloadConfiguration("RCON"));
    connection->SendMessageW(packet->Id, 0, &reply);
  } catch (const std::exception& e) {
    ReportFailure(e.what());
  } catch (...) {
    ReportFailure("unknown error");
  }
}

}  // namespace

void AddRconReloadCommand() {
  AsaApi::GetCommands().AddRconCommand(HostMessage(kReloadCommand), &OnRconReload);
}

void AddConsoleReloadCommand() {
  AsaApi::GetCommands().AddConsoleCommand(HostMessage(kReloadCommand), &OnConsoleReload);
}

void RemoveReloadCommands() {
  const FString name = HostMessage(kReloadCommand);
  AsaApi::GetCommands().RemoveConsoleCommand(name);
  AsaApi::GetCommands().RemoveRconCommand(name);
}

std::string ReloadConfiguration(std::string_view asked_by) {
  const bool policing = Policing();
  nlohmann::json document;
  try {
    document = ReadConfigFile(ConfigPath());
  } catch (const ConfigError& e) {
    const std::string_view verb = policing ? "reloaded" : "loaded";
    const std::string_view outcome =
        policing ? "the rules in force are unchanged" : "console commands are still not policed";
    LogError(fmt::format("config.json was not {} (asked by {}); {}: {}", verb, asked_by, outcome,
                         e.what()));
    if (!policing) StillWaitingForConfiguration(e.what());
    return fmt::format("config.json was not {}; {}: {}", verb, outcome, e.what());
  }
  UseConfiguration(std::move(document));
  if (policing) {
    ReconfigureNotifier(CurrentConfiguration().notify.delivery);
  } else {
    StartPolicing();
  }
  const std::string in_force = InForce(CurrentConfiguration());
  const std::string_view outcome =
      policing ? "reloaded" : "loaded, and console commands are policed from now on";
  LogInfo(fmt::format("config.json {} (asked by {}): {}", outcome, asked_by, in_force));
  return fmt::format("config.json {}: {}", outcome, in_force);
}

}  // namespace quillmark
