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

#include <cstddef>
#include <exception>

#include "audit/server_label.h"
#include "audit/server_password.h"
#include "base/logger.h"
#include "host/libraries.h"
#include "host/module_pin.h"
#include "journal/journal.h"
#include "notify/discord.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "plugin/rcon_handler.h"
#include "plugin/reload.h"

namespace quillmark {
namespace {

enum class State { kStopped, kWaitingForConfiguration, kPolicing };
State state = State::kStopped;

// Whether each handler is in the game's chain now. A handler the framework could not take off
// stays there across a stop (the library then stays loaded) and is not installed again by the
// next start: installed twice, it would lead to itself.
bool console_hooked = false;
bool rcon_hooked = false;

// Takes the handlers that are in the chains off; true when none is left there. A removal that
// the framework refuses leaves the handler where it is (the framework's answer does not tell a
// failed transaction from a handler it no longer has, so either counts as still there).
bool RemoveHandlers() {
  if (console_hooked) console_hooked = !host::RemoveHook(kConsoleCommandHook, &CommandHandler);
  if (rcon_hooked) rcon_hooked = !host::RemoveHook(kRconPacketHook, &RconHandler);
  return !console_hooked && !rcon_hooked;
}

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
  AsaApi::GetCommands().RemoveOnTickCallback(FString(kReminderId));  // one left by a stop
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

bool StartPolicing() {
  if (state != State::kWaitingForConfiguration) return state == State::kPolicing;
  if (!console_hooked) {
    console_hooked = host::InstallHook(kConsoleCommandHook, &CommandHandler, &SavedConsoleCommand);
  }
  if (!console_hooked) {
    TheReminder().why = kNotHooked;
    LogError(
        fmt::format("Console commands reach the game unpoliced and unaudited: {}; send "
                    "quillmark.reload over RCON to try again",
                    kNotHooked));
    return false;
  }
  if (!rcon_hooked) {
    rcon_hooked = host::InstallHook(kRconPacketHook, &RconHandler, &SavedRconPacket);
  }
  if (!rcon_hooked) {
    LogError(
        "RCON commands reach the game unaudited: the hook on the game's RCON handler could not "
        "be installed (console commands are policed)");
  }
  HandlersPassThrough = false;
  AsaApi::GetCommands().RemoveOnTickCallback(FString(kReminderId));
  StartNotifier(CurrentConfiguration().notify.delivery);
  StartJournal(CurrentConfiguration().journal);
  AddConsoleReloadCommand();
  state = State::kPolicing;
  return true;
}

void StillWaitingForConfiguration(const std::string& why) {
  if (state == State::kWaitingForConfiguration) TheReminder().why = why;
}

void ShutdownPlugin() {
  // The framework may unload the plugin from inside the plugin's own code: a player's
  // "plugins.unload quillmark" runs inside this plugin's console-command detour, an RCON one
  // inside its RCON detour. When the framework frees the library right after this function, the
  // detour would return into code that is gone. So while a detour or command callback of the
  // plugin is running, the library keeps one more reference, given back by the host's thread
  // pool a few seconds from now, after all of that has unwound. Otherwise (the framework's
  // automatic reload, an unload from elsewhere) nothing keeps it: the reload copies the new file
  // over the library right after this, which Windows refuses while the image is still mapped.
  if (host::CodeOnStack::Any()) host::ModulePin().ReleaseLater();
  // The reload commands and the reminder are left for the framework, which takes every
  // registration of a module away right after Plugin_Unload, emptying each in place: a command
  // loop of the framework runs over a copy of its registrations, which may be what runs this
  // unload (plugins.unload over RCON), and a registration this function took away would live on
  // in that copy and be destroyed after the library is gone. A start registers them afresh.
  if (!RemoveHandlers()) {
    // The game goes on calling what stays in its chain, and the framework frees the library
    // right after this function: its code and the entries it saved must outlive that.
    HandlersPassThrough = true;
    host::KeepLoadedForGood();
    LogError(
        "The framework could not take this plugin's hooks off: they stay, handing every command "
        "to the game untouched, and the library stays loaded until the server stops");
  }
  state = State::kStopped;
  StopJournal();
  StopNotifier();
  if (!console_hooked) SavedConsoleCommand = nullptr;
  if (!rcon_hooked) SavedRconPacket = nullptr;
  ForgetRconClients();
  ForgetServerLabel();
  ForgetServerPasswords();
  ForgetConfiguration();
  PluginLogger().reset();
}

void OnProcessExit() noexcept {
  if (state == State::kStopped) return;
  WriteJournalStopAtExit();
  try {
    const std::size_t owed = WaitingNotifications();
    if (owed > 0) {
      (void)LogErrorWithoutWaiting(fmt::format(
          "Discord delivery stopped with the server, which unloads no plugin when it shuts "
          "down: {} notifications not delivered; the server log has their commands",
          owed));
    }
  } catch (...) {  // NOLINT(bugprone-empty-catch): out of memory even for the line
  }
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

int HOST_WINAPI DllMain(void* /*module*/, unsigned long reason, void* reserved) {
  constexpr unsigned long kProcessDetach = 0;
  if (reason != kProcessDetach) return 1;
  if (reserved != nullptr) {
    // The process is ending (the server shutting down, which never unloads its plugins).
    quillmark::OnProcessExit();
  } else if (quillmark::Policing()) {
    // A host that unloads the library without calling Plugin_Unload: take the handlers off,
    // which waits for nothing. The rest goes with the library.
    try {
      (void)quillmark::RemoveHandlers();
    } catch (...) {  // NOLINT(bugprone-empty-catch): nothing to do while the library goes away
    }
  }
  return 1;
}
