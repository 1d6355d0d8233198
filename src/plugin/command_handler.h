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
// Set while the plugin is stopped with its handlers left in the game's chains (the framework
// could not take them off): the handlers then hand everything on untouched. Game thread.
extern bool HandlersPassThrough;

// The detour. Called by the game on its thread as (controller, result slot, command, write-to-log
// flag): the flag is true for what a player types, false for what code on the server runs
// through the player's controller (a plugin's command). Calls the saved entry with the same
// arguments, the command emptied when blocked, and returns its result. Lets no exception out: a
// failure inside blocks the command.
FString* CommandHandler(AShooterPlayerController* controller, FString* result, FString* command,
                        bool write_to_log);

}  // namespace quillmark
