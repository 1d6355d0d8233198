// Start-up and shutdown. Start-up runs in Plugin_Init rather than in the loader's attach
// notification: DllMain runs under the loader lock, where reading a file, creating the logger
// and installing a hook (the framework suspends the server's threads to patch the function) can
// deadlock; Plugin_Init runs outside it, on the game thread. And when the plugin is loaded again
// while its library is still mapped (kept loaded across an unload from inside its own handler),
// the loader sends no second attach, while the framework does call Plugin_Init again.
//
// All process-wide state is made on first use (the configuration, the logger holder, the server
// label) and so is released in reverse order of creation when the library goes away.
#include "plugin/plugin.h"

#include <exception>

#include "audit/server_label.h"
#include "audit/server_password.h"
#include "base/logger.h"
#include "host/module_pin.h"
#include "notify/discord.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "plugin/rcon_handler.h"
#include "plugin/reload.h"

namespace quillmark {
namespace {

enum class State { kStopped, kWaitingForConfiguration, kPolicing };
State state = State::kStopped;

// While no configuration is in force, a line says so at most this often.
constexpr float kReminderSeconds = 60;
constexpr HostChar kReminderId[] = HOST_TEXT("quillmark.unpoliced");

struct Reminder {
  std::string why;    // config.json's last error
  float seconds = 0;  // since the last line
};
Reminder& TheReminder() {
  static Reminder reminder;
  return reminder;
}

// The line said at start-up, right after the error line, and then with the error in it.
void Remind(bool with_why) {
  std::string line =
      "Console commands reach the game unpoliced and unaudited until config.json loads";
  if (with_why) line += " (" + TheReminder().why + ")";
  LogError(line + ": mend it and send quillmark.reload over RCON");
}

// No configuration could be read at start-up: say so now and once a minute, and let a reload
// over RCON (already registered) start policing.
void WaitForConfiguration(const std::string& why) {
  TheReminder() = {why, 0};
  Remind(false);
  AsaApi::GetCommands().AddOnTickCallback(FString(kReminderId), [](float seconds) {
    try {
      Reminder& reminder = TheReminder();
      reminder.seconds += seconds;
      if (reminder.seconds < kReminderSeconds) return;
      reminder.seconds = 0;
      Remind(true);
    } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the line
    }
  });
  state = State::kWaitingForConfiguration;
}

}  // namespace

void InitPlugin() {
  (void)CurrentConfiguration();  // made first, so that it outlives the logger at exit
  CreatePluginLogger();
  AddRconReloadCommand();
  state = State::kWaitingForConfiguration;
  try {
    LoadConfiguration();
  } catch (const std::exception& e) {
    LogError(e.what());
    WaitForConfiguration(e.what());
    throw;
  }
  StartPolicing();
}

bool Policing() { return state == State::kPolicing; }

void StartPolicing() {
  if (state != State::kWaitingForConfiguration) return;
  AsaApi::GetCommands().RemoveOnTickCallback(FString(kReminderId));
  StartNotifier(CurrentConfiguration().notify.delivery);
  host::InstallHook(kConsoleCommandHook, &CommandHandler, &SavedConsoleCommand);
  host::InstallHook(kRconPacketHook, &RconHandler, &SavedRconPacket);
  AddConsoleReloadCommand();
  state = State::kPolicing;
}

void StillWaitingForConfiguration(const std::string& why) {
  if (state == State::kWaitingForConfiguration) TheReminder().why = why;
}

void ShutdownPlugin() {
  // The framework unloads a plugin from inside a command: a player's "plugins.unload quillmark"
  // runs inside this plugin's own console-command detour, and the framework's command loops run
  // on a snapshot of the registered commands, which may hold the last reference to this
  // plugin's reload commands after they are removed below. When the framework frees the library
  // right after this function, the detour would return into code that is gone, and the snapshot
  // would destroy callbacks whose code is gone. So the library keeps one more reference, given
  // back by the host's thread pool a few seconds from now, after all of that has unwound.
  host::ModulePin pin;
  pin.ReleaseLater();
  if (state == State::kPolicing) {
    host::RemoveHook(kConsoleCommandHook, &CommandHandler);
    host::RemoveHook(kRconPacketHook, &RconHandler);
  } else if (state == State::kWaitingForConfiguration) {
    AsaApi::GetCommands().RemoveOnTickCallback(FString(kReminderId));
  }
  if (state != State::kStopped) RemoveReloadCommands();
  state = State::kStopped;
  StopNotifier();
  SavedConsoleCommand = nullptr;
  SavedRconPacket = nullptr;
  ForgetRconClients();
  ForgetServerLabel();
  ForgetServerPasswords();
  ForgetConfiguration();
  PluginLogger().reset();
}

}  // namespace quillmark

void Plugin_Init() {
  try {
    quillmark::InitPlugin();
  } catch (const std::exception&) {  // NOLINT(bugprone-empty-catch): InitPlugin has logged it
  } catch (...) {
    quillmark::LogError("Start-up failed with an unknown error");
  }
}

void Plugin_Unload() {
  try {
    quillmark::ShutdownPlugin();
  } catch (...) {  // NOLINT(bugprone-empty-catch): nothing is left to report to
  }
}

std::uint64_t QuillmarkWaitingNotifications() { return quillmark::WaitingNotifications(); }

int HOST_WINAPI DllMain(void* /*module*/, unsigned long reason, void* /*reserved*/) {
  constexpr unsigned long kProcessDetach = 0;
  // A host that unloads the library without calling Plugin_Unload: take the handlers off, which
  // waits for nothing. The rest goes with the library.
  if (reason == kProcessDetach && quillmark::Policing()) {
    try {
      host::RemoveHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler);
      host::RemoveHook(quillmark::kRconPacketHook, &quillmark::RconHandler);
    } catch (...) {  // NOLINT(bugprone-empty-catch): nothing to do while the library goes away
    }
  }
  return 1;
}
