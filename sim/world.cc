// The simulated game world: player controllers, the game mode, and the address lookups by text
// key through which the plugin reaches them. Field and bit layouts mimic the engine's closely
// enough that a plugin reading the wrong field, bit or width sees wrong values.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

// The engine's component with its world transform: 96 bytes, the translation's X, Y and Z as
// 64-bit floats at bytes 32, 40 and 48.
class USceneComponent {
 public:
  unsigned char header[0x1B0] = {};
  alignas(16) unsigned char component_to_world[96] = {};
};

class APlayerController {};

class AShooterPlayerController : public APlayerController {
 public:
  unsigned char header[0x2C0] = {};
  USceneComponent* root_component = nullptr;
  unsigned char padding[0x48] = {};
  // The word that holds the administrator bit among its neighbours, as the engine packs them.
  std::uint32_t flags = 0;
  FString eos_id;
  FString character_name;
  std::unique_ptr<USceneComponent> component;
};

class AShooterGameMode {
 public:
  FString map_name;
};

namespace sim {

void Fatal(const char* format, ...) {
  std::fflush(stdout);
  std::fputs("simulated host: fatal: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputs("\n", stderr);
  std::fflush(stderr);
  std::abort();
}

namespace {

constexpr std::uint32_t kAdminBit = 5;
// Neighbouring flags that are set for every controller, so that a reader that forgets to shift
// or mask sees "admin" everywhere.
constexpr std::uint32_t kNeighbourFlags = (1u << 4) | (1u << 6) | (1u << 31);

void WriteTransform(USceneComponent& component, double x, double y, double z) {
  std::memcpy(component.component_to_world + 32, &x, sizeof x);
  std::memcpy(component.component_to_world + 40, &y, sizeof y);
  std::memcpy(component.component_to_world + 48, &z, sizeof z);
}

struct World {
  std::unique_ptr<AShooterGameMode> game_mode;
  std::vector<std::unique_ptr<AShooterPlayerController>> players;
  std::mutex received_mutex;
  std::vector<ReceivedCommand> received;
  std::vector<ServerMessage> messages;
  std::vector<HostText> engine_log;
};

bool IsBlankText(const HostText& text) {
  return text.find_first_not_of(HOST_TEXT(" \t")) == HostText::npos;
}

World& TheWorld() {
  static auto* world = new World();
  return *world;
}

class ApiUtils final : public AsaApi::IApiUtils {
 public:
  UWorld* GetWorld() const override { return nullptr; }
  AShooterGameMode* CurrentGameMode() const override { return TheWorld().game_mode.get(); }
};

const std::unordered_map<std::string_view, void*>& Functions() {
  // Never destroyed: host strings held by statics of other modules are given back during exit.
  static const auto* functions = new std::unordered_map<std::string_view, void*>{
      {"FMemory.Malloc(unsigned__int64,unsignedint)", reinterpret_cast<void*>(&EngineMalloc)},
      {"FMemory.Realloc(void*,unsigned__int64,unsignedint)",
       reinterpret_cast<void*>(&EngineRealloc)},
      {"FMemory.Free(void*)", reinterpret_cast<void*>(&EngineFree)},
      {"AShooterPlayerController.GetPlayerCharacterName()",
       reinterpret_cast<void*>(&GamePlayerCharacterName)},
      {"AShooterGameMode.GetMapName()", reinterpret_cast<void*>(&GameMapName)},
      {"AShooterPlayerController.ConsoleCommand(FString&,bool)",
       reinterpret_cast<void*>(&GameConsoleCommand)},
      {"RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*)",
       reinterpret_cast<void*>(&GameProcessRconPacket)},
      {"AShooterPlayerController.GetUniqueNetIdAsString()",
       reinterpret_cast<void*>(&GameUniqueNetIdAsString)},
      {"AShooterPlayerController.ClientServerChatDirectMessage(FString&,FLinearColor,bool,FString&"
       ")",
       reinterpret_cast<void*>(&GameServerChatDirectMessage)},
      {"RCONClientConnection.SendMessage(int,int,FString&)",
       reinterpret_cast<void*>(&GameRconSendMessage)},
  };
  return *functions;
}

// The engine's reflection gives fields as offsets into the object. The simulated classes derive
// from one another without virtual bases, where every compiler we build with lays fields out as
// offsetof says; offsetof on such a class is only "conditionally supported", hence the pragma.
#if defined(__clang__) || defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
const std::unordered_map<std::string_view, std::size_t>& Fields() {
  static const auto* fields = [] {
    auto* made = new std::unordered_map<std::string_view, std::size_t>{
        {"AActor.RootComponent", offsetof(AShooterPlayerController, root_component)},
        {"USceneComponent.ComponentToWorld", offsetof(USceneComponent, component_to_world)},
    };
    for (const auto& [key, offset] : RconFields()) made->emplace(key, offset);
    return made;
  }();
  return *fields;
}
#if defined(__clang__) || defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace

std::vector<HostText> ConsoleParts(const HostText& text) {
  // One line read the way the engine's console reads commands: up to a line break, or up to a
  // '|' outside double quotes; from "//" outside quotes to the end of the part is a comment.
  // Quoting starts afresh in each part, and every run of line breaks and '|' after a part is
  // skipped. A line break ends a part even inside quotes.
  std::vector<HostText> parts;
  std::size_t i = 0;
  const std::size_t n = text.size();
  for (;;) {
    HostText part;
    bool quoted = false;
    bool comment = false;
    bool got = false;
    while (i < n && text[i] != '\n' && text[i] != '\r') {
      if (!quoted && text[i] == '/' && i + 1 < n && text[i + 1] == '/') comment = true;
      if (!quoted && text[i] == '|') break;
      quoted = quoted != (text[i] == '"');
      got = true;
      if (!comment) part.push_back(text[i]);
      ++i;
    }
    while (i < n && (text[i] == '\n' || text[i] == '\r' || text[i] == '|')) ++i;
    if (i >= n && !got) break;
    parts.push_back(std::move(part));
  }
  return parts;
}

FString* GameConsoleCommand(AShooterPlayerController* controller, FString* result, FString* command,
                            bool write_to_log) {
  World& world = TheWorld();
  {
    ReceivedCommand received{controller, HostText(**command), write_to_log, {}};
    // The parts that do something: an empty or blank part runs nothing.
    for (HostText& part : ConsoleParts(received.command)) {
      if (!IsBlankText(part)) received.parts.push_back(std::move(part));
    }
    std::lock_guard lock(world.received_mutex);
    world.received.push_back(std::move(received));
  }
  // The engine gathers what the commands print; with the flag it writes that to its own log (not
  // the framework's log outputs) and returns nothing, without it hands it back to the caller.
  const FString output = command->IsEmpty() ? FString() : FString(HOST_TEXT("Command executed"));
  if (write_to_log) {
    if (!output.IsEmpty()) {
      std::lock_guard lock(world.received_mutex);
      world.engine_log.emplace_back(*output);
    }
    *result = FString();
  } else {
    *result = output;
  }
  return result;
}

APlayerController* AsPlayerController(AShooterPlayerController* controller) { return controller; }

FString* GamePlayerCharacterName(AShooterPlayerController* controller, FString* result) {
  *result = controller->character_name;
  return result;
}

FString* GameMapName(AShooterGameMode* game_mode, FString* result) {
  *result = game_mode->map_name;
  return result;
}

FString* GameUniqueNetIdAsString(AShooterPlayerController* controller, FString* result) {
  *result = controller->eos_id;
  return result;
}

void GameServerChatDirectMessage(AShooterPlayerController* controller, const FString* message,
                                 LinearColor /*color*/, bool /*bold*/, const FString* /*sender*/) {
  host::SendServerMessage(controller, *message);
}

AShooterPlayerController* FindPlayer(const HostText& eos_id) {
  for (const auto& player : TheWorld().players) {
    if (eos_id == *player->eos_id) return player.get();
  }
  return nullptr;
}

void StartWorld(const std::string& map_name) {
  World& world = TheWorld();
  world.game_mode = std::make_unique<AShooterGameMode>();
  world.game_mode->map_name = FString(DecodeUtf8(map_name).c_str());
}

void StopWorld() {
  EndRcon();
  World& world = TheWorld();
  world.game_mode.reset();
  world.players.clear();
  std::lock_guard lock(world.received_mutex);
  world.received.clear();
  world.messages.clear();
  world.engine_log.clear();
}

void SetMapName(const std::string& map_name) {
  World& world = TheWorld();
  if (!world.game_mode) Fatal("SetMapName: the world has not started");
  world.game_mode->map_name = FString(DecodeUtf8(map_name).c_str());
}

AShooterPlayerController* AddPlayer(const PlayerSetup& setup) {
  auto controller = std::make_unique<AShooterPlayerController>();
  controller->flags = kNeighbourFlags;
  controller->eos_id = FString(DecodeUtf8(setup.eos_id).c_str());
  controller->character_name = FString(DecodeUtf8(setup.character_name).c_str());
  controller->component = std::make_unique<USceneComponent>();
  if (setup.has_root_component) controller->root_component = controller->component.get();
  WriteTransform(*controller->component, setup.x, setup.y, setup.z);
  SetAdmin(controller.get(), setup.admin);
  TheWorld().players.push_back(std::move(controller));
  return TheWorld().players.back().get();
}

void SetAdmin(AShooterPlayerController* controller, bool admin) {
  if (admin) {
    controller->flags |= 1u << kAdminBit;
  } else {
    controller->flags &= ~(1u << kAdminBit);
  }
}

void SetPosition(AShooterPlayerController* controller, double x, double y, double z) {
  WriteTransform(*controller->component, x, y, z);
}

void SetCharacterName(AShooterPlayerController* controller, const std::string& name) {
  controller->character_name = FString(DecodeUtf8(name).c_str());
}

namespace {

HostText CallConsoleCommand(AShooterPlayerController* controller, const HostText& command,
                            bool write_to_log) {
  constexpr const char* kName = "AShooterPlayerController.ConsoleCommand(FString&,bool)";
  const auto entry = reinterpret_cast<ConsoleCommandFn>(
      CurrentEntry(kName, reinterpret_cast<void*>(&GameConsoleCommand)));
  FString text(command.c_str());
  FString result;
  FString* returned = entry(controller, &result, &text, write_to_log);
  return HostText(**returned);
}

}  // namespace

HostText RunConsoleCommand(AShooterPlayerController* controller, const HostText& command) {
  return CallConsoleCommand(controller, command, true);
}

HostText RunPluginCommand(AShooterPlayerController* controller, const HostText& command,
                          bool as_admin) {
  if (!as_admin) return CallConsoleCommand(controller, command, false);
  // Put back even when the call throws, so that a failing test never leaves the player an
  // administrator.
  const bool was_admin = (controller->flags & (1u << kAdminBit)) != 0;
  SetAdmin(controller, true);
  struct PutBack {
    AShooterPlayerController* controller;
    bool was_admin;
    ~PutBack() { SetAdmin(controller, was_admin); }
  } put_back{controller, was_admin};
  return CallConsoleCommand(controller, command, false);
}

std::vector<HostText> TakeEngineLog() {
  World& world = TheWorld();
  std::lock_guard lock(world.received_mutex);
  return std::exchange(world.engine_log, {});
}

std::vector<ServerMessage> TakeServerMessages() {
  World& world = TheWorld();
  std::lock_guard lock(world.received_mutex);
  return std::exchange(world.messages, {});
}

std::vector<ReceivedCommand> TakeReceivedCommands() {
  World& world = TheWorld();
  std::lock_guard lock(world.received_mutex);
  return std::exchange(world.received, {});
}

bool IsFunctionKnown(const std::string& name) { return Functions().contains(name); }

}  // namespace sim

void* GetAddress(const std::string& name) {
  const auto& functions = sim::Functions();
  const auto it = functions.find(name);
  if (it == functions.end()) sim::Fatal("GetAddress: unknown function key \"%s\"", name.c_str());
  return it->second;
}

std::uint64_t GetAddress(const void* object, const std::string& name) {
  const auto& fields = sim::Fields();
  const auto it = fields.find(name);
  if (it == fields.end()) sim::Fatal("GetAddress: unknown field key \"%s\"", name.c_str());
  return reinterpret_cast<std::uint64_t>(object) + it->second;
}

BitField GetBitField(const void* object, const std::string& name) {
  if (name != "APrimalPlayerController.bIsAdmin") {
    sim::Fatal("GetBitField: unknown bit field key \"%s\"", name.c_str());
  }
  const auto* controller = static_cast<const AShooterPlayerController*>(object);
  return BitField{reinterpret_cast<std::uint64_t>(&controller->flags), sim::kAdminBit, 1};
}

AShooterPlayerController* host::AsShooterController(APlayerController* controller) {
  return static_cast<AShooterPlayerController*>(controller);
}

void host::SendServerMessage(AShooterPlayerController* controller, const FString& message) {
  if (controller == nullptr) return;
  sim::World& world = sim::TheWorld();
  std::lock_guard lock(world.received_mutex);
  world.messages.push_back({controller, HostText(*message)});
}

namespace AsaApi {

IApiUtils& GetApiUtils() {
  static auto* utils = new sim::ApiUtils();
  return *utils;
}

FString IApiUtils::GetEOSIDFromController(AShooterPlayerController* controller) {
  return controller == nullptr ? FString() : controller->eos_id;
}

}  // namespace AsaApi
