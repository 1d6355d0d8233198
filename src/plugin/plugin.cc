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
#include "base/logger.h"
#include "notify/discord.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"

namespace quillmark {
namespace {

bool started = false;
std::uint64_t shutdowns = 0;

}  // namespace

void InitPlugin() {
  (void)CurrentConfiguration();  // made first, so that it outlives the logger at exit
  CreatePluginLogger();
  try {
    LoadConfiguration();
  } catch (const std::exception& e) {
    LogError(e.what());
    throw;
  }
  StartNotifier(CurrentConfiguration().notify.delivery);
  host::InstallHook(kConsoleCommandHook, &CommandHandler, &SavedConsoleCommand);
  started = true;
}

void ShutdownPlugin() {
  if (started) {
    host::RemoveHook(kConsoleCommandHook, &CommandHandler);
    started = false;
  }
  StopNotifier();
  SavedConsoleCommand = nullptr;
  ForgetServerLabel();
  ForgetConfiguration();
  PluginLogger().reset();
  ++shutdowns;
}

std::uint64_t Shutdowns() { return shutdowns; }

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
  // A host that unloads the library without calling Plugin_Unload: take the handler off, which
  // waits for nothing. The rest goes with the library.
  if (reason == kProcessDetach && quillmark::started) {
    try {
      host::RemoveHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler);
    } catch (...) {  // NOLINT(bugprone-empty-catch): nothing to do while the library goes away
    }
  }
  return 1;
}
