// The framework's game utilities: the running game mode, the server's status, players by EOS id,
// and the messaging managers through which plugins send server messages (a plugin's own, or the
// default one, which sends them as the game's direct chat from "Server").
#include <map>
#include <mutex>

#include "sim/framework/framework.h"

namespace {

// The default manager, as the framework's: a server message is the game's direct chat line from
// "Server". (The framework's own keeps that sender in a static text that lives until the
// process ends; here it is made per message, so that every engine block of a play is given
// back before the stand-in server counts them.)
class DefaultMessagingManager final : public MessagingManager {
 protected:
  void SendServerMessage_Impl(AShooterPlayerController* player_controller, FLinearColor msg_color,
                              const FString& msg) override {
    const FString sender(L"Server");
    player_controller->ClientServerChatDirectMessage(&msg, msg_color, false, &sender);
  }
};

class ApiUtils final : public AsaApi::IApiUtils {
 public:
  UWorld* GetWorld() const override { return nullptr; }  // the world has no UWorld object
  AShooterGameMode* GetShooterGameMode() const override {
    return static_cast<AShooterGameMode*>(sim::face::GameMode());
  }
  AsaApi::ServerStatus GetStatus() const override {
    return GetShooterGameMode() != nullptr ? AsaApi::ServerStatus::Ready
                                           : AsaApi::ServerStatus::Loading;
  }
  UShooterCheatManager* GetCheatManager() const override { return nullptr; }

 private:
  AShooterPlayerController* FindPlayerFromEOSID_Internal(const FString& eos_id) const override {
    if (eos_id.IsEmpty()) return nullptr;
    return static_cast<AShooterPlayerController*>(sim::face::FindPlayer(*eos_id));
  }
  std::shared_ptr<MessagingManager> GetMessagingManagerInternal(
      const FString& forPlugin) const override {
    std::lock_guard lock(mutex_);
    const auto it = managers_.find(std::wstring(*forPlugin));
    return it != managers_.end() ? it->second : default_manager_;
  }
  void SetMessagingManagerInternal(const FString& forPlugin,
                                   std::shared_ptr<MessagingManager> manager) override {
    if (manager == nullptr) throw std::invalid_argument("MessagingManager cannot be null");
    std::lock_guard lock(mutex_);
    managers_[std::wstring(*forPlugin)] = std::move(manager);
  }

  mutable std::mutex mutex_;
  std::map<std::wstring, std::shared_ptr<MessagingManager>> managers_;
  std::shared_ptr<MessagingManager> default_manager_ = std::make_shared<DefaultMessagingManager>();
};

}  // namespace

AsaApi::IApiUtils& AsaApi::GetApiUtils() {
  static auto* utils = new ApiUtils();
  return *utils;
}
