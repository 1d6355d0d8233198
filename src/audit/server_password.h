// The server's administrator password, which is also its RCON password: no audit text shows it,
// whatever command it is typed into. The plugin learns it where the host gives it: from the map
// URL of the server's command line ("TheIsland_WP?listen?ServerAdminPassword=PW"), and from every
// RCON connection that authenticates with it (a server may keep it in its settings file instead).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quillmark {

// The passwords known (UTF-8, none empty): every value of a "ServerAdminPassword" option (any
// letter case) of an argument of the command line after the program's name, options being what
// follows each '?', then those noted. The command line is read at the first call and kept.
// Valid until the next call of NoteServerPassword or ForgetServerPasswords. Game thread.
std::span<const std::string> ServerPasswords();

// Adds `password` (an RCON connection's own) to those known, unless it is empty or known.
// Game thread.
void NoteServerPassword(std::string_view password);

// Forgets what is known; the next call reads the command line again. For the plugin's shutdown.
void ForgetServerPasswords();

}  // namespace quillmark
