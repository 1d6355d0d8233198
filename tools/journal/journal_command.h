// The journal's commands as an operator types them: journal search, verify and report, their
// options read, their answers printed, their exit status returned.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmark::tools {

// The journal's folder that the plugin beside the program writes: "journal": {"folder"} of the
// config.json in `program_folder` (a relative folder taken from there), else the folder
// "journal" there. A config.json that does not load is reported on the error output.
std::filesystem::path DefaultJournalFolder(const std::filesystem::path& program_folder);

// journal search|verify|report …: `args` are the program's arguments, args[1] being "journal".
// Exit status: search 0 when something matched, 1 when nothing did; verify 0 when every chain is
// intact, 1 at a break; report 0 when it counted a command, 1 when none; 2 on bad usage. `usage`
// is what --help prints.
int RunJournal(const std::vector<std::string>& args, const char* usage,
               const std::filesystem::path& program_folder,
               std::chrono::system_clock::time_point now);

}  // namespace quillmark::tools
