// The configuration tools as commands of a program: "check" and "explain", with their arguments
// as typed after the program's name. The stand-in server and the operator's program both offer
// them through these functions, so that they answer alike.
#pragma once

#include <string>
#include <vector>

namespace quillmark::tools {

// True for "--help" and "-h".
bool AsksForHelp(const std::string& arg);

// check <config.json>: prints the findings, and those of a PluginInfo.json beside the file; 0 when
// clean, 1 with warnings only, 2 with errors. `args` are the program's arguments, args[1] being
// "check". `usage` is printed on standard output for --help (exit status 0), on the error output
// for bad usage (exit status 2).
int RunCheck(const std::vector<std::string>& args, const char* usage);

// explain --config <config.json> --eos <id> [--admin] [--plugin] [--groups A,B] [--] <command...>:
// the verdict and the deciding rule of each part; 0 when let through, 1 when blocked, 2 when the
// file cannot be used or the usage is bad.
int RunExplain(const std::vector<std::string>& args, const char* usage);

}  // namespace quillmark::tools
