// The command handler. Everything it learns about the player and the command is gathered first;
// only then are the audit line and the notification written, so that a failure part way never
// leaves a command logged one way and treated another. A command that reaches it with the
// write-to-log flag false was run by code on the server for the player (what a player types
// comes with the flag true): it is written down as a plugin's.
#include "plugin/command_handler.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>
#include <vector>

#include "audit/audit_settings.h"
#include "audit/audit_text.h"
#include "audit/command_account.h"
#include "audit/decision.h"
#include "audit/position.h"
#include "audit/rule_place.h"
#include "audit/server_label.h"
#include "audit/server_password.h"
#include "base/logger.h"
#include "host/host_fields.h"
#include "host/host_text.h"
#include "host/libraries.h"
#include "host/module_pin.h"
#include "host/unicode.h"
#include "journal/journal.h"
#include "notify/discord.h"
#include "notify/markdown.h"
#include "plugin/configuration.h"
#include "plugin/permissions.h"
#include "plugin/shown_field.h"

namespace quillmark {

ConsoleCommandFn SavedConsoleCommand = nullptr;
bool HandlersPassThrough = false;

namespace {

std::string EosIdText(AShooterPlayerController* controller) {
  return FStringToUtf8(AsaApi::IApiUtils::GetEOSIDFromController(controller));
}

// The command's units, up to its first zero unit.
HostView Units(const FString& command) {
  const HostChar* units = *command;
  std::size_t length = 0;
  while (units[length] != 0) ++length;
  return {units, length};
}

// The game's fields and functions are looked up by key once, on first use (see host_fields.h).
std::string CharacterName(AShooterPlayerController* controller) {
  FString name;
  if (controller != nullptr) {
    using GetNameFn = FString* (*)(AShooterPlayerController*, FString*);
    static const auto get_name = reinterpret_cast<GetNameFn>(
        GetAddress("AShooterPlayerController.GetPlayerCharacterName()"));
    get_name(controller, &name);
  }
  return FStringToUtf8(name);
}

// The world position of the controller's root component into the account; a controller
// without one is at the origin.
void Position(AShooterPlayerController* controller, CommandAccount& account) {
  static const std::uint64_t root_offset = FieldOffset(controller, "AActor.RootComponent");
  const auto* root = Field<const void*>(controller, root_offset);
  if (root == nullptr) return;
  // The translation of the component-to-world transform: three doubles 32 bytes in.
  static const std::uint64_t transform_offset =
      FieldOffset(root, "USceneComponent.ComponentToWorld") + 32;
  account.x = Field<double>(root, transform_offset);
  account.y = Field<double>(root, transform_offset + 8);
  account.z = Field<double>(root, transform_offset + 16);
}

bool HasAdminBit(AShooterPlayerController* controller) {
  static const BitField relative = [controller] {
    BitField field = GetBitField(controller, "APrimalPlayerController.bIsAdmin");
    field.offset -= reinterpret_cast<std::uint64_t>(controller);
    return field;
  }();
  BitField field = relative;
  field.offset += reinterpret_cast<std::uint64_t>(controller);
  return IsBitFieldSet(field);
}

// The texts of one command as they are shown, every one escaped so that it stays on one line.
struct Shown {
  bool plugin = false;  // a plugin ran it for the player
  std::string_view label;
  std::string name;
  std::string eos_id;
  std::string command;
  std::string position;
};

// The embed's description:
//   "[<label>]\n Player: <name> (<EOS id>)\nExecuted: <command>\nPosition: <position>\n",
// with "(" in front when the command was blocked. Every field is bounded so that the player,
// the command and the position always fit Discord's limit; the command takes what the others
// leave. Written piece by piece: it is made on the game thread for every command.
constexpr std::string_view kPlayerText = "]\n Player: ";
constexpr std::string_view kExecutedText = ")\nExecuted: ";
constexpr std::string_view kPluginRanText = ")\nRun by a plugin: ";
constexpr std::string_view kPositionText = "\nPosition: ";

// The mentions of the alerts the command matches, as it reached the server (no secret hidden
// yet: what is hidden cannot hide a command word).
std::vector<std::string> Mentions(const NotifySettings& settings, HostView units, bool allowed) {
  if (settings.alerts.empty() || settings.webhook.empty()) return {};
  return AlertMentions(settings.alerts, host::Utf16ToUtf8(units.data(), units.size()), !allowed);
}

// Hands the notification to delivery, when one is to be made, with the player as error lines
// name them. A command let through is not posted when the channel is for blocked ones only,
// unless an alert pings for it. Every text is shown as the audit line has it, Discord's markdown
// escaped, and counted escaped.
// The commands plugins run for a player take a share of the queue of their own, never the
// player's: "plugin for <EOS id>", which no EOS id is.
void Notify(const NotifySettings& settings, const Shown& shown, bool allowed,
            std::vector<std::string> mentions) {
  if (allowed && settings.blocked_only && mentions.empty()) return;
  const MarkdownField name(shown.name, kMaxField);
  std::string plugin_sender;
  std::string plugin_shown;
  if (shown.plugin) {
    plugin_sender = "plugin for " + shown.eos_id;
    plugin_shown = "a plugin for " + name.text;
  }
  const std::string_view sender = shown.plugin ? plugin_sender : std::string_view(shown.eos_id);
  const std::string_view sender_shown = shown.plugin ? plugin_shown : std::string_view(name.text);
  if (!AdmitNotification(settings, sender, sender_shown, !mentions.empty())) return;
  const std::string_view executed = shown.plugin ? kPluginRanText : kExecutedText;
  const MarkdownField label(shown.label, kMaxField);
  const MarkdownField eos_id(shown.eos_id, kMaxField);
  // "(" "[" label "]\n Player: " name " (" eos ")\nExecuted: " command "\nPosition: " pos "\n"
  const std::size_t fixed =
      (allowed ? 0 : 1) + 1 + kPlayerText.size() + 2 + executed.size() + kPositionText.size() + 1;
  const std::size_t others = fixed + label.characters + name.characters + eos_id.characters +
                             CountCharacters(shown.position);
  const MarkdownField command(shown.command,
                              kMaxDescription > others ? kMaxDescription - others : 0);
  std::string text;
  text.reserve(fixed + label.text.size() + name.text.size() + eos_id.text.size() +
               command.text.size() + shown.position.size());
  if (!allowed) text += '(';
  text.append("[").append(label.text).append(kPlayerText).append(name.text).append(" (");
  text.append(eos_id.text).append(executed).append(command.text).append(kPositionText);
  text.append(shown.position).append("\n");

  const ShownField plain_name(shown.name, kMaxField);
  const ShownField plain_eos_id(shown.eos_id, kMaxField);
  std::string player(shown.plugin ? "a plugin for " : "");
  player.reserve(player.size() + plain_name.text.size() + plain_eos_id.text.size() + 3);
  player.append(plain_name.text).append(" (").append(plain_eos_id.text).append(")");
  const Notice notice = shown.plugin ? (allowed ? Notice::kPluginAllowed : Notice::kPluginBlocked)
                                     : (allowed ? Notice::kAllowed : Notice::kBlocked);
  PostToDiscord(settings, std::move(text), notice, std::move(player), std::string(sender),
                std::string(sender_shown), std::move(mentions));
}

// Tells the operator, once per command word under a configuration, which setting lets plugins
// run a command they were refused: the shop's buyer is not told, and the audit line alone does
// not say what to change.
void WarnOfBlockedPluginCommand(const PluginCommands& plugin_commands, const std::string& word) {
  if (!plugin_commands.FirstBlocked(word)) return;
  const std::string shown = EscapeForDisplay(word);
  LogWarning(fmt::format(
      "A plugin's command {} was blocked; to let plugins run it for players, add \"{}\" to "
      "\"plugin-commands\".\"allowed-commands\" in config.json",
      shown.empty() ? std::string("(the empty command)") : shown, shown));
}

// Tells the player, when config.json says what, that the command was blocked; `refused` is the
// part refused as the audit line shows it, cut as an embed's field is. After the audit line and
// the notification: a failure here (for want of memory) leaves the player untold, nothing else.
void TellBlockedPlayer(AShooterPlayerController* controller, const std::string& message,
                       std::string_view refused) noexcept {
  if (message.empty()) return;
  try {
    const ShownField part(refused, kMaxField);
    const HostText text = AsaApi::Tools::Utf8Decode(BlockedPlayerText(message, part.text));
    host::SendServerMessage(controller, FString(text.c_str()));
  } catch (const std::exception& e) {
    LogFailure("Could not tell a blocked player so", e.what());
  }
}

// The one account of a console command: who, from where, what, the verdict and its rule.
CommandAccount GatherAccount(AShooterPlayerController* controller, HostView units,
                             const Configuration& configuration, CommandSource source) {
  CommandAccount account;
  account.source = source;
  account.eos_id = EosIdText(controller);
  const Decision decision = DecideCommand(
      configuration.allow_list, units, account.eos_id,
      [controller] { return HasAdminBit(controller); }, nullptr,
      [&account] { return PermissionsGroups(account.eos_id); },
      source == CommandSource::kPlugin ? &configuration.plugin_commands : nullptr);
  if (!decision.error.empty()) {
    LogError(fmt::format("Error while checking admin command permissions: {}", decision.error));
  }
  account.player = CharacterName(controller);
  Position(controller, account);
  account.admin = HasAdminBit(controller);
  // The password of EnableCheats and the server's passwords hidden; the decision above saw the
  // command as received.
  const std::span<const std::string> passwords = ServerPasswords();
  account.command = HideSecrets(host::Utf16ToUtf8(units.data(), units.size()), passwords);
  account.allowed = decision.allowed;
  account.rule = RulePlace(configuration.document, decision);
  if (!account.rule.empty()) account.group = decision.grant_group;
  account.parts = decision.parts;
  account.refused_part = decision.refused_part;
  if (decision.parts > 1) account.refused = HideSecrets(decision.refused_text, passwords);
  if (!decision.allowed) account.refused_word = HideSecrets(decision.refused_word, passwords);
  return account;
}

// Decides the command, writes its audit line, journal record and notification, and empties it
// when blocked. The player is told only of a blocked command of their own: a plugin's is the
// plugin's and the operator's business (a warning says what to change).
void AuditCommand(AShooterPlayerController* controller, FString& command, CommandSource source) {
  const Configuration& configuration = CurrentConfiguration();
  const CommandAccount account = GatherAccount(controller, Units(command), configuration, source);
  const bool plugin = source == CommandSource::kPlugin;
  std::vector<std::string> mentions =
      Mentions(configuration.notify, Units(command), account.allowed);

  // The shown texts, every one escaped.
  Shown shown;
  shown.plugin = plugin;
  shown.name = EscapeForDisplay(account.player);
  shown.position = PositionText(account.x, account.y, account.z);
  shown.label = ShownServerLabel();
  shown.eos_id = EscapeForDisplay(account.eos_id);
  shown.command = EscapeForDisplay(account.command);

  if (account.allowed) {
    LogInfo(plugin
                ? fmt::format("Plugin ran {} for player {} ({}) at position {} on {}",
                              shown.command, shown.name, shown.eos_id, shown.position, shown.label)
                : fmt::format("Player {} ({}) executed {} at position {} on {}", shown.name,
                              shown.eos_id, shown.command, shown.position, shown.label));
    JournalCommand(account);
    Notify(configuration.notify, shown, true, std::move(mentions));
    return;
  }
  std::string line =
      plugin
          ? fmt::format(
                "Blocked a plugin from executing {} for player {} ({}) at position {} on {}, "
                "admin: {}",
                shown.command, shown.name, shown.eos_id, shown.position, shown.label, account.admin)
          : fmt::format("Blocked player {} ({}) from executing {} at position {} on {}, admin: {}",
                        shown.name, shown.eos_id, shown.command, shown.position, shown.label,
                        account.admin);
  std::string refused_part;
  if (account.parts > 1) {
    refused_part = EscapeForDisplay(account.refused);
    line += fmt::format(", refused part {} of {}: {}", account.refused_part, account.parts,
                        refused_part);
  }
  LogInfo(line);
  if (plugin) WarnOfBlockedPluginCommand(configuration.plugin_commands, account.refused_word);
  JournalCommand(account);
  command.Empty();
  Notify(configuration.notify, shown, false, std::move(mentions));
  if (plugin) return;
  TellBlockedPlayer(controller, configuration.audit.blocked_message,
                    account.parts > 1 ? refused_part : shown.command);
}

// After an unexpected failure the command is blocked: the game gets nothing to run. The error
// line names the player and the command when they can still be had.
void BlockAfterFailure(AShooterPlayerController* controller, FString& command,
                       const char* what) noexcept {
  try {
    LogError(fmt::format("Blocked player ({}) from executing {} after an error: {}",
                         EscapeForDisplay(EosIdText(controller)),
                         EscapeForDisplay(HideSecrets(FStringToUtf8(command), ServerPasswords())),
                         what));
  } catch (...) {
    try {
      LogError(fmt::format("Blocked a console command after an error: {}", what));
    } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the error line
    }
  }
  command.Empty();
}

}  // namespace

FString* CommandHandler(AShooterPlayerController* controller, FString* result, FString* command,
                        bool write_to_log) {
  const host::CodeOnStack running;  // the call below may unload the plugin
  if (HandlersPassThrough) return SavedConsoleCommand(controller, result, command, write_to_log);
  try {
    AuditCommand(controller, *command,
                 write_to_log ? CommandSource::kConsole : CommandSource::kPlugin);
  } catch (const std::exception& e) {
    BlockAfterFailure(controller, *command, e.what());
  } catch (...) {
    BlockAfterFailure(controller, *command, "unknown error");
  }
  // The caller's flag goes on: with false the game hands the command's output back to the
  // caller (a plugin may read it), with true it writes it to the game's log.
  return SavedConsoleCommand(controller, result, command, write_to_log);
}

}  // namespace quillmark
