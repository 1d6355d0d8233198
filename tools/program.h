// What the operator's program does differently per platform: its arguments, where it lies, and
// standard output set up to carry the journal's bytes as they are. One implementation per
// platform, chosen by the build.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillmark::tools {

// The program's arguments in UTF-8 (on Windows, from the wide command line: argv is in the ANSI
// code page there).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The folder of the running program.
std::filesystem::path ProgramFolder();

// Standard output and error as bytes, unchanged ("\n" stays "\n"), shown as UTF-8 on a console.
void PrepareStandardStreams();

}  // namespace quillmark::tools
