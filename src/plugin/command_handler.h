// The command handler: put in front of the game's console-command function, it decides every
// console command, writes its one audit line, notifies Discord once, and hands the command to
// the game, emptied when it was blocked.
#pragma once

#include "host/host.h"

namespace quillmark {

// The game function the handler is put in front of.
inline constexpr char kConsoleCommandHook[] =
    "AShooterPlayerController.ConsoleCommand(FString&,bool)";

// The game's own entry, stored by the host when the handler is installed; called by the handler.
extern ConsoleCommandFn SavedConsoleCommand;

// The detour. Called by the game on its thread as (controller, result slot, command, write-to-log
// flag); always calls the saved entry with (controller, result slot, command, true) and returns
// its result. Lets no exception out: a failure inside blocks the command.
FString* CommandHandler(AShooterPlayerController* controller, FString* result, FString* command,
                        bool write_to_log);

}  // namespace quillmark
