// The server label: the short text naming this server in audit lines and notifications, taken
// from the "-serverkey=" option of the server's command line or, without it, from the map.
#pragma once

#include <string>

#include "host/host.h"

namespace quillmark {

// A new FString with the server label, possibly empty; the caller owns it. The first non-empty
// label is kept for as long as the plugin is loaded, so later calls cost one copy. While the
// game has no game mode (as during start-up) only the command line is looked at and nothing is
// kept. Game thread.
FString GetServerLabel();

// The label as audit texts show it (UTF-8, escaped for one line), kept with the label: the same
// text as GetServerLabel's, without a copy of it for every command. Valid until the next call.
// Game thread.
const std::string& ShownServerLabel();

// Forgets the kept label and gives its buffer back; the next call finds the label afresh. For
// the plugin's shutdown, after which it may be started again in the same library.
void ForgetServerLabel();

}  // namespace quillmark
