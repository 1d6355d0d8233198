// The framework's commands and callbacks: console and RCON commands, per-frame and per-second
// callbacks, each owned by the module that registered it (told by where the call came from) and
// run by the world's console, RCON service and game loop. The world has no chat: chat commands
// and chat-message callbacks are accepted and never called, and nothing of them is kept, so that
// nothing of a plugin outlives its unload here.
#include "sim/framework/framework.h"

namespace {

using ChatCommand = std::function<void(AShooterPlayerController*, FString*, int, int)>;
using ChatCallback = std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>;

class Commands final : public AsaApi::ICommands {
 public:
  void AddChatCommand(const FString& /*command*/, const ChatCommand& /*callback*/) override {}
  void AddConsoleCommand(
      const FString& command,
      const std::function<void(APlayerController*, FString*, bool)>& callback) override {
    sim::face::AddConsoleCommand(
        standin::CallerModule(_ReturnAddress()), *command,
        [callback](void* controller, standin::Text* text, bool write_to_log) {
          callback(static_cast<APlayerController*>(controller), standin::AsFString(text),
                   write_to_log);
        });
  }
  void AddRconCommand(
      const FString& command,
      const std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>& callback) override {
    sim::face::AddRconCommand(standin::CallerModule(_ReturnAddress()), *command,
                              [callback](void* connection, void* packet, void* world) {
                                callback(static_cast<RCONClientConnection*>(connection),
                                         static_cast<RCONPacket*>(packet),
                                         static_cast<UWorld*>(world));
                              });
  }
  void AddOnTickCallback(const FString& id, const std::function<void(float)>& callback) override {
    sim::face::AddTickCallback(standin::CallerModule(_ReturnAddress()), *id, callback);
  }
  void AddOnTimerCallback(const FString& id, const std::function<void()>& callback) override {
    sim::face::AddTimerCallback(standin::CallerModule(_ReturnAddress()), *id, callback);
  }
  void AddOnChatMessageCallback(const FString& /*id*/, const ChatCallback& /*callback*/) override {}
  bool RemoveChatCommand(const FString& /*command*/) override { return false; }
  bool RemoveConsoleCommand(const FString& command) override {
    return sim::face::RemoveConsoleCommand(*command);
  }
  bool RemoveRconCommand(const FString& command) override {
    return sim::face::RemoveRconCommand(*command);
  }
  bool RemoveOnTickCallback(const FString& id) override {
    return sim::face::RemoveTickCallback(*id);
  }
  bool RemoveOnTimerCallback(const FString& id) override {
    return sim::face::RemoveTimerCallback(*id);
  }
  bool RemoveOnChatMessageCallback(const FString& /*id*/) override { return false; }
};

}  // namespace

AsaApi::ICommands& AsaApi::GetCommands() {
  static auto* commands = new Commands();
  return *commands;
}
