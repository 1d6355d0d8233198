// The command handler. Everything it learns about the player and the command is gathered first;
// only then are the audit line and the notification written, so that a failure part way never
// leaves a command logged one way and treated another.
#include "plugin/command_handler.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>

#include "audit/audit_text.h"
#include "audit/decision.h"
#include "audit/position.h"
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

// The game's fields and functions are looked up by key once, on first use: their offsets and
// addresses are fixed for the life of the process, and a lookup by key costs more than reading
// the field.
std::uint64_t FieldOffset(const void* object, const std::string& key) {
  return GetAddress(object, key) - reinterpret_cast<std::uint64_t>(object);
}

template <typename T>
T Field(const void* object, std::uint64_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(object) + offset, sizeof value);
  return value;
}

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

// The world position of the controller's root component; a controller without one is at the
// origin.
std::string Position(AShooterPlayerController* controller) {
  static const std::uint64_t root_offset = FieldOffset(controller, "AActor.RootComponent");
  const auto* root = Field<const void*>(controller, root_offset);
  if (root == nullptr) return PositionText(0, 0, 0);
  // The translation of the component-to-world transform: three doubles 32 bytes in.
  static const std::uint64_t transform_offset =
      FieldOffset(root, "USceneComponent.ComponentToWorld") + 32;
  return PositionText(Field<double>(root, transform_offset),
                      Field<double>(root, transform_offset + 8),
                      Field<double>(root, transform_offset + 16));
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
  std::string_view label;
  std::string name;
  std::string eos_id;
  std::string command;
  std::string position;
};

// `text`, or when it has more than `limit` characters, `text` cut into `cut`.
std::string_view Bounded(std::string_view text, std::size_t limit, std::string& cut) {
  if (CountCharacters(text) <= limit) return text;
  cut = CutCharacters(text, limit);
  return cut;
}

// The embed's description. Every field is bounded so that the player, the command and the
// position always fit Discord's limit; the command takes what the others leave.
constexpr char kNotificationFormat[] = "{}[{}]\n Player: {} ({})\nExecuted: {}\nPosition: {}\n";
// Its characters without the six fields (all of them ASCII).
constexpr std::size_t kNotificationFixed = sizeof kNotificationFormat - 1 - 6 * 2;
constexpr std::size_t kMaxField = 100;

std::string Notification(const Shown& shown, bool allowed) {
  std::string label_cut;
  std::string name_cut;
  std::string eos_id_cut;
  std::string command_cut;
  const std::string_view opening = allowed ? "" : "(";
  const std::string_view label = Bounded(shown.label, kMaxField, label_cut);
  const std::string_view name = Bounded(shown.name, kMaxField, name_cut);
  const std::string_view eos_id = Bounded(shown.eos_id, kMaxField, eos_id_cut);
  const std::size_t others = kNotificationFixed + opening.size() + CountCharacters(label) +
                             CountCharacters(name) + CountCharacters(eos_id) +
                             CountCharacters(shown.position);
  const std::size_t room = kMaxDescription > others ? kMaxDescription - others : 0;
  return fmt::format(kNotificationFormat, opening, label, name, eos_id,
                     Bounded(shown.command, room, command_cut), shown.position);
}

// The player as error lines name them.
std::string Player(const Shown& shown) {
  std::string name_cut;
  std::string eos_id_cut;
  return fmt::format("{} ({})", Bounded(shown.name, kMaxField, name_cut),
                     Bounded(shown.eos_id, kMaxField, eos_id_cut));
}

// Hands the notification to delivery, when one is to be made.
void Notify(const NotifySettings& settings, const Shown& shown, bool allowed) {
  if (!AdmitNotification(settings)) return;
  PostToDiscord(settings, Notification(shown, allowed), allowed, Player(shown));
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
  shown.position = Position(controller);
  shown.label = ShownServerLabel();
  shown.eos_id = EscapeForDisplay(eos_id);
  shown.command = EscapeForDisplay(HideSecrets(host::Utf16ToUtf8(units.data(), units.size())));

  if (decision.allowed) {
    LogInfo(fmt::format("Player {} ({}) executed {} at position {} on {}", shown.name, shown.eos_id,
                        shown.command, shown.position, shown.label));
    Notify(configuration.notify, shown, true);
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
  Notify(configuration.notify, shown, false);
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
