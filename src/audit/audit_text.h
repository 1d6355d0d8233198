// Small text rules of the audit: letter case of command words, and how player-supplied texts
// are made safe to write into the audit trail.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

// ASCII letters A-Z become a-z; every other byte is kept.
std::string Lower(std::string_view text);

// Control characters (below 0x20, and 0x7F) written as visible escapes such as \x0A, so that a
// player's text can never start a line of its own in the log.
std::string EscapeControl(std::string_view text);

// The command as it may be shown: the arguments of "EnableCheats" (any letter case), the server's
// admin password, become "***". Other commands are returned unchanged.
std::string HideSecrets(std::string_view command);

}  // namespace quillmark
