// Start-up and shutdown. All process-wide state is made on first use (the configuration, the
// logger holder, the server label) and so is released in reverse order of creation when the
// library goes away.
#include "plugin/plugin.h"

#include <exception>

#include "audit/command_handler.h"
#include "plugin/config.h"
#include "plugin/logger.h"

namespace quillmark {

void InitPlugin() {
  (void)PluginConfig();  // made first, so that it outlives the logger at exit
  CreatePluginLogger();
  try {
    LoadConfig();
  } catch (const std::exception& e) {
    LogError(e.what());
    throw;
  }
  host::InstallHook(kConsoleCommandHook, &CommandHandler, &SavedConsoleCommand);
}

}  // namespace quillmark

extern "C" int HOST_WINAPI DllMain(void* /*module*/, unsigned long reason, void* /*reserved*/) {
  constexpr unsigned long kProcessDetach = 0;
  constexpr unsigned long kProcessAttach = 1;
  constexpr int kTrue = 1;
  constexpr int kFalse = 0;
  switch (reason) {
    case kProcessAttach:
      try {
        quillmark::InitPlugin();
        return kTrue;
      } catch (const std::exception&) {
        return kFalse;  // InitPlugin has logged it
      } catch (...) {
        quillmark::LogError("Start-up failed with an unknown error");
        return kFalse;
      }
    case kProcessDetach:
      try {
        host::RemoveHook(quillmark::kConsoleCommandHook, &quillmark::CommandHandler);
      } catch (...) {  // NOLINT(bugprone-empty-catch): nothing to do while the library goes away
      }
      return kTrue;
    default:
      return kTrue;
  }
}
