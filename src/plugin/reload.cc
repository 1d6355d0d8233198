// The reload commands.
#include "plugin/reload.h"

#include <exception>

#include "audit/audit_text.h"
#include "base/config.h"
#include "base/logger.h"
#include "host/host.h"
#include "host/host_text.h"
#include "host/libraries.h"
#include "host/module_pin.h"
#include "journal/journal.h"
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
  const host::CodeOnStack running;
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
  const host::CodeOnStack running;
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

// Each first takes away one that a stop left for a host that did not (see ShutdownPlugin).
void AddRconReloadCommand() {
  const FString name = HostMessage(kReloadCommand);
  AsaApi::GetCommands().RemoveRconCommand(name);
  AsaApi::GetCommands().AddRconCommand(name, &OnRconReload);
}

void AddConsoleReloadCommand() {
  const FString name = HostMessage(kReloadCommand);
  AsaApi::GetCommands().RemoveConsoleCommand(name);
  AsaApi::GetCommands().AddConsoleCommand(name, &OnConsoleReload);
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
  const std::string in_force = InForce(CurrentConfiguration());
  if (policing) {
    ReconfigureNotifier(CurrentConfiguration().notify.delivery);
    ReloadJournal(CurrentConfiguration().journal);
  } else if (!StartPolicing()) {
    LogInfo(
        fmt::format("config.json loaded (asked by {}), but console commands are still not "
                    "policed: {}: {}",
                    asked_by, kNotHooked, in_force));
    return fmt::format("config.json loaded, but console commands are still not policed: {}",
                       kNotHooked);
  }
  const std::string_view outcome =
      policing ? "reloaded" : "loaded, and console commands are policed from now on";
  LogInfo(fmt::format("config.json {} (asked by {}): {}", outcome, asked_by, in_force));
  return fmt::format("config.json {}: {}", outcome, in_force);
}

}  // namespace quillmark
