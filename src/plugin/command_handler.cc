// The command handler. Everything it learns about the player and the command is gathered first;
// only then are the audit line and the notification written, so that a failure part way never
// leaves a command logged one way and treated another.
#include "plugin/command_handler.h"

#include <cstring>
#include <exception>
#include <string_view>

#include "audit/audit_text.h"
#include "audit/decision.h"
#include "audit/server_label.h"
#include "base/logger.h"
#include "host/host_text.h"
#include "host/libraries.h"
#include "host/unicode.h"
#include "notify/discord.h"
#include "plugin/configuration.h"

namespace quillmark {

ConsoleCommandFn SavedConsoleCommand = nullptr;

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

std::string CharacterName(AShooterPlayerController* controller) {
  FString name;
  if (controller != nullptr) {
    using GetNameFn = FString* (*)(AShooterPlayerController*, FString*);
    reinterpret_cast<GetNameFn>(GetAddress("AShooterPlayerController.GetPlayerCharacterName()"))(
        controller, &name);
  }
  return FStringToUtf8(name);
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

// The texts of one command as they are shown, every one escaped so that it stays on one line.
struct Shown {
  std::string label;
  std::string name;
  std::string eos_id;
  std::string command;
  std::string position;
};

// The embed's description. Every field is bounded so that the player, the command and the
// position always fit Discord's limit; the command takes what the others leave.
constexpr char kNotificationFormat[] = "{}[{}]\n Player: {} ({})\nExecuted: {}\nPosition: {}\n";

std::string Notification(const Shown& shown, bool allowed) {
  constexpr std::size_t kMaxField = 100;
  const std::string label = CutCharacters(shown.label, kMaxField);
  const std::string name = CutCharacters(shown.name, kMaxField);
  const std::string eos_id = CutCharacters(shown.eos_id, kMaxField);
  const std::string opening = allowed ? "" : "(";
  const std::size_t others = CountCharacters(
      fmt::format(kNotificationFormat, opening, label, name, eos_id, "", shown.position));
  const std::size_t room = kMaxDescription > others ? kMaxDescription - others : 0;

  return fmt::format(kNotificationFormat, opening, label, name, eos_id,
                     CutCharacters(shown.command, room), shown.position);
}

// The player as error lines name them.
std::string Player(const Shown& shown) {
  return CutCharacters(shown.name, 100) + " (" + CutCharacters(shown.eos_id, 100) + ")";
}

// Decides the command, writes its audit line and notification, and empties it when blocked.
void AuditCommand(AShooterPlayerController* controller, FString& command) {
  const Configuration& configuration = CurrentConfiguration();
  const std::string eos_id = EosIdText(controller);
  const HostView units = Units(command);
  const Decision decision = DecideCommand(configuration.allow_list, units, eos_id,
                                          [controller] { return HasAdminBit(controller); });
  if (!decision.error.empty()) {
    LogError(fmt::format("Error while checking admin command permissions: {}", decision.error));
  }

  // The shown texts: the password of EnableCheats hidden, every text escaped. The decision
  // above saw the command as received.
  Shown shown;
  shown.name = EscapeForDisplay(CharacterName(controller));
  shown.position = PositionText(controller);
  shown.label = EscapeForDisplay(FStringToUtf8(GetServerLabel()));
  shown.eos_id = EscapeForDisplay(eos_id);
  shown.command = EscapeForDisplay(HideSecrets(host::Utf16ToUtf8(units.data(), units.size())));

  if (decision.allowed) {
    LogInfo(fmt::format("Player {} ({}) executed {} at position {} on {}", shown.name, shown.eos_id,
                        shown.command, shown.position, shown.label));
    PostToDiscord(configuration.notify, Notification(shown, true), true, Player(shown));
    return;
  }
  const bool admin_bit = HasAdminBit(controller);
  std::string line =
      fmt::format("Blocked player {} ({}) from executing {} at position {} on {}, admin: {}",
                  shown.name, shown.eos_id, shown.command, shown.position, shown.label, admin_bit);
  if (decision.parts > 1) {
    line += fmt::format(", refused part {} of {}: {}", decision.refused_part, decision.parts,
                        EscapeForDisplay(HideSecrets(decision.refused_text)));
  }
  LogInfo(line);
  command.Empty();
  PostToDiscord(configuration.notify, Notification(shown, false), false, Player(shown));
}

// After an unexpected failure the command is blocked: the game gets nothing to run. The error
// line names the player and the command when they can still be had.
void BlockAfterFailure(AShooterPlayerController* controller, FString& command,
                       const char* what) noexcept {
  try {
    LogError(fmt::format("Blocked player ({}) from executing {} after an error: {}",
                         EscapeForDisplay(EosIdText(controller)),
                         EscapeForDisplay(HideSecrets(FStringToUtf8(command))), what));
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
                        bool /*write_to_log*/) {
  try {
    AuditCommand(controller, *command);
  } catch (const std::exception& e) {
    BlockAfterFailure(controller, *command, e.what());
  } catch (...) {
    BlockAfterFailure(controller, *command, "unknown error");
  }
  return SavedConsoleCommand(controller, result, command, true);
}

}  // namespace quillmark
