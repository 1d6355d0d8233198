// quillmark: the operator's tools, run where the server runs. On a configuration, check and
// explain (as the stand-in server offers them); on the journal the plugin keeps, search, verify
// and report. Without a folder, the journal commands read the journal of the config.json beside
// the program.
#include <chrono>
#include <cstdio>
#include <exception>

#include "tools/journal/journal_command.h"
#include "tools/operator_commands.h"
#include "tools/program.h"

namespace {

constexpr char kUsage[] =
    "usage: quillmark check <config.json>\n"
    "       quillmark explain --config <config.json> --eos <id> [--admin] [--plugin]"
    " [--groups A,B] <command...>\n"
    "       quillmark journal search [FOLDER...] [--since WHEN] [--until WHEN] [--player TEXT]\n"
    "                                [--eos ID] [--command WORD]\n"
    "                                [--decision allowed|blocked|audited]\n"
    "                                [--source console|rcon|plugin] [--server LABEL]\n"
    "                                [--format text|jsonl|csv]\n"
    "       quillmark journal verify [FOLDER...]\n"
    "       quillmark journal report [FOLDER...] [--since WHEN] [--until WHEN] [--html FILE]\n"
    "WHEN is a date (2026-12-09), a UTC date and time (2026-12-09T13:45) or an age (90m, 12h,\n"
    "7d); --since takes records from it on, --until up to the end of the day or minute it names.\n"
    "Without a FOLDER, the journal of the config.json beside this program is read.\n";

}  // namespace

int main(int argc, char** argv) {
  try {
    quillmark::tools::PrepareStandardStreams();
    const std::vector<std::string> args = quillmark::tools::ProgramArguments(argc, argv);
    const std::string command = args.size() > 1 ? args[1] : "";
    if (command == "check") return quillmark::tools::RunCheck(args, kUsage);
    if (command == "explain") return quillmark::tools::RunExplain(args, kUsage);
    if (command == "journal") {
      return quillmark::tools::RunJournal(args, kUsage, quillmark::tools::ProgramFolder(),
                                          std::chrono::system_clock::now());
    }
    const bool asked = quillmark::tools::AsksForHelp(command);
    std::fputs(kUsage, asked ? stdout : stderr);
    return asked ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quillmark: %s\n", e.what());
    return 2;
  }
}
