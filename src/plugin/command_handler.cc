// The command handler. Everything it learns about the player and the command is gathered first;
// only then are the audit line and the notification written, so that a failure part way never
// leaves a command logged one way and treated another.
#include "plugin/command_handler.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>

#include "audit/audit_text.h"
#include "audit/permissions.h"
#include "audit/server_label.h"
#include "base/config.h"
#include "base/logger.h"
#include "host/host_text.h"
#include "host/libraries.h"
#include "host/module_pin.h"
#include "notify/discord.h"
#include "plugin/plugin.h"

namespace quillmark {

ConsoleCommandFn SavedConsoleCommand = nullptr;

namespace {

std::string EosIdText(AShooterPlayerController* controller) {
  return FStringToNarrow(AsaApi::IApiUtils::GetEOSIDFromController(controller));
}

std::string CommandWord(const FString& command) {
  TArray<FString> pieces;
  command.ParseIntoArray(pieces, HOST_TEXT(" "), true);
  return pieces.Num() > 0 ? Lower(FStringToNarrow(pieces[0])) : std::string();
}

std::string CharacterName(AShooterPlayerController* controller) {
  FString name;
  if (controller != nullptr) {
    using GetNameFn = FString* (*)(AShooterPlayerController*, FString*);
    reinterpret_cast<GetNameFn>(GetAddress("AShooterPlayerController.GetPlayerCharacterName()"))(
        controller, &name);
  }
  return FStringToNarrow(name);
}

// The world position of the controller's root component; a controller without one is at the
// origin.
std::string PositionText(AShooterPlayerController* controller) {
  double x = 0;
  double y = 0;
  double z = 0;
  const void* root =
      *reinterpret_cast<void* const*>(GetAddress(controller, "AActor.RootComponent"));
  if (root != nullptr) {
    const auto* transform = reinterpret_cast<const unsigned char*>(
        GetAddress(root, "USceneComponent.ComponentToWorld"));
    std::memcpy(&x, transform + 32, sizeof x);
    std::memcpy(&y, transform + 40, sizeof y);
    std::memcpy(&z, transform + 48, sizeof z);
  }
  return FStringToNarrow(FormatFString(HOST_TEXT("X=%3.3f Y=%3.3f Z=%3.3f"), x, y, z));
}

bool HasAdminBit(AShooterPlayerController* controller) {
  return IsBitFieldSet(GetBitField(controller, "APrimalPlayerController.bIsAdmin"));
}

// The admin search, guarded: a failure is logged and grants nothing.
bool IsGrantedGuarded(const std::string& eos_id, const std::string& command_word) {
  try {
    return IsGranted(PluginConfig(), eos_id, command_word);
  } catch (const std::exception& e) {
    LogError(fmt::format("Error while checking admin command permissions: {}", e.what()));
    return false;
  }
}

// True when the framework may take `command_word` for its "plugins.unload", which unloads a
// plugin inside the game's call: the framework compares the first word ignoring the case of
// ASCII letters; a unit that narrow text shows as '?' is let match anything, to be safe.
bool MayUnloadPlugins(const std::string& command_word) {
  constexpr std::string_view kUnload = "plugins.unload";
  if (command_word.size() != kUnload.size()) return false;
  for (std::size_t i = 0; i < kUnload.size(); ++i) {
    if (command_word[i] != kUnload[i] && command_word[i] != '?') return false;
  }
  return true;
}

// Decides the command, writes its audit line and notification, and empties it when blocked.
// True when the command goes to the game and may unload this plugin there.
bool AuditCommand(AShooterPlayerController* controller, FString& command) {
  const std::string eos_id = EosIdText(controller);
  const std::string command_word = CommandWord(command);
  const bool white_listed = IsWhiteListed(PluginConfig(), command_word);
  const bool granted = IsGrantedGuarded(eos_id, command_word);

  const std::string name = EscapeControl(CharacterName(controller));
  const std::string position = PositionText(controller);
  const std::string label = FStringToNarrow(GetServerLabel());

  const bool allowed = (granted && HasAdminBit(controller)) || white_listed;
  // Shown texts: the password of EnableCheats hidden, control characters made visible. The
  // decision above saw the command as received.
  const std::string shown = EscapeControl(HideSecrets(FStringToNarrow(command)));

  if (allowed) {
    const std::string notification =
        fmt::format("[{}]\n Player: {} ({})\nExecuted: {}\nPosition: {}\n", label, name, eos_id,
                    shown, position);
    LogInfo(fmt::format("Player {} ({}) executed {} at position {} on {}", name, eos_id, shown,
                        position, label));
    PostToDiscord(notification, true);
    return MayUnloadPlugins(command_word);
  }
  const std::string notification =
      fmt::format("([{}]\n Player: {} ({})\nExecuted: {}\nPosition: {}\n", label, name, eos_id,
                  shown, position);
  const bool admin_bit = HasAdminBit(controller);
  LogInfo(fmt::format("Blocked player {} ({}) from executing {} at position {} on {}, admin: {}",
                      name, eos_id, shown, position, label, admin_bit));
  command.Empty();
  PostToDiscord(notification, false);
  return false;
}

// After an unexpected failure the command is blocked: the game gets nothing to run. The error
// line names the player and the command when they can still be had.
void BlockAfterFailure(AShooterPlayerController* controller, FString& command,
                       const char* what) noexcept {
  try {
    LogError(fmt::format("Blocked player ({}) from executing {} after an error: {}",
                         EosIdText(controller),
                         EscapeControl(HideSecrets(FStringToNarrow(command))), what));
  } catch (...) {
    try {
      LogError(fmt::format("Blocked a console command after an error: {}", what));
    } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the error line
    }
  }
  command.Empty();
}

// The game's function, with this library kept loaded until the call has come back here: when
// the framework unloads the plugin inside the call, the reference taken here is given back only
// after this function has returned.
FString* CallKeepingLoaded(AShooterPlayerController* controller, FString* result,
                           FString* command) {
  host::ModulePin pin;
  const std::uint64_t shutdowns = Shutdowns();
  FString* returned = SavedConsoleCommand(controller, result, command, true);
  if (Shutdowns() != shutdowns) pin.ReleaseLater();
  return returned;
}

}  // namespace

FString* CommandHandler(AShooterPlayerController* controller, FString* result, FString* command,
                        bool /*write_to_log*/) {
  bool may_unload = false;
  try {
    may_unload = AuditCommand(controller, *command);
  } catch (const std::exception& e) {
    BlockAfterFailure(controller, *command, e.what());
  } catch (...) {
    BlockAfterFailure(controller, *command, "unknown error");
  }
  if (may_unload) return CallKeepingLoaded(controller, result, command);
  return SavedConsoleCommand(controller, result, command, true);
}

}  // namespace quillmark
