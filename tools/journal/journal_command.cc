// Reading the journal commands' options.
#include "tools/journal/journal_command.h"

#include <cstdio>
#include <fstream>
#include <optional>

#include "base/config.h"
#include "tools/journal/report.h"
#include "tools/journal/search.h"
#include "tools/journal/verify.h"
#include "tools/journal/when.h"
#include "tools/operator_commands.h"

namespace quillmark::tools {
namespace {

int Usage(const char* usage, bool asked) {
  std::fputs(usage, asked ? stdout : stderr);
  return asked ? 0 : 2;
}

int Bad(const std::string& message) {
  std::fprintf(stderr, "quillmark journal: %s (see --help)\n", message.c_str());
  return 2;
}

void Warn(const std::string& message) {
  std::fprintf(stderr, "quillmark journal: %s\n", message.c_str());
}

void Print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

struct Options {
  std::vector<std::filesystem::path> folders;
  RecordQuery query;
  SearchFormat format = SearchFormat::kText;
  std::optional<std::string> html;
  bool help = false;
};

// Reads the options `allowed` (each "--name"), the other arguments being folders. An empty
// result with `error` set on bad usage.
std::optional<Options> ReadOptions(const std::vector<std::string>& args,
                                   const std::vector<std::string>& allowed,
                                   std::chrono::system_clock::time_point now, std::string& error) {
  Options options;
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (AsksForHelp(arg)) {
      options.help = true;
      return options;
    }
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      options.folders.push_back(PathFromUtf8(arg));
      continue;
    }
    if (std::find(allowed.begin(), allowed.end(), arg) == allowed.end()) {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    RecordQuery& query = options.query;
    if (arg == "--since" || arg == "--until") {
      const std::optional<WhenSpan> when = ParseWhen(value, now);
      if (!when) {
        error = arg + " " + value +
                ": not a date (2026-12-09), a UTC date and time (2026-12-09T13:45) or an age "
                "(90m, 12h, 7d)";
        return std::nullopt;
      }
      (arg == "--since" ? query.since : query.until) = arg == "--since" ? when->begin : when->end;
    } else if (arg == "--player") {
      query.player = value;
    } else if (arg == "--eos") {
      query.eos = value;
    } else if (arg == "--command") {
      query.command = value;
    } else if (arg == "--server") {
      query.server = value;
    } else if (arg == "--decision") {
      if (value != "allowed" && value != "blocked" && value != "audited") {
        error = "--decision is allowed, blocked or audited, not " + value;
        return std::nullopt;
      }
      query.decision = value;
    } else if (arg == "--source") {
      if (value != "console" && value != "rcon" && value != "plugin") {
        error = "--source is console, rcon or plugin, not " + value;
        return std::nullopt;
      }
      query.source = value;
    } else if (arg == "--format") {
      if (value == "text") {
        options.format = SearchFormat::kText;
      } else if (value == "jsonl") {
        options.format = SearchFormat::kJsonl;
      } else if (value == "csv") {
        options.format = SearchFormat::kCsv;
      } else {
        error = "--format is text, jsonl or csv, not " + value;
        return std::nullopt;
      }
    } else if (arg == "--html") {
      options.html = value;
    }
  }
  return options;
}

}  // namespace

std::filesystem::path DefaultJournalFolder(const std::filesystem::path& program_folder) {
  const std::filesystem::path config_file = program_folder / "config.json";
  std::filesystem::path folder = "journal";
  std::error_code failed;
  if (std::filesystem::exists(config_file, failed)) {
    try {
      const nlohmann::json config = ReadConfigFile(Utf8Path(config_file));
      const auto journal = config.find("journal");
      if (journal != config.end() && journal->is_object()) {
        const auto named = journal->find("folder");
        if (named != journal->end() && named->is_string() && !named->get<std::string>().empty()) {
          folder = PathFromUtf8(named->get<std::string>());
        }
      }
    } catch (const ConfigError& e) {
      Warn(Utf8Path(config_file) + " does not load (" + e.what() +
           "); reading the journal folder beside it");
    }
  }
  return folder.is_absolute() ? folder : program_folder / folder;
}

int RunJournal(const std::vector<std::string>& args, const char* usage,
               const std::filesystem::path& program_folder,
               std::chrono::system_clock::time_point now) {
  if (args.size() < 3) return Usage(usage, false);
  const std::string& command = args[2];
  if (AsksForHelp(command)) return Usage(usage, true);
  std::vector<std::string> allowed;
  if (command == "search") {
    allowed = {"--since",    "--until",  "--player", "--eos",   "--command",
               "--decision", "--source", "--server", "--format"};
  } else if (command == "report") {
    allowed = {"--since", "--until", "--html"};
  } else if (command != "verify") {
    return Bad("no journal command " + command + "; there are search, verify and report");
  }
  std::string error;
  std::optional<Options> options = ReadOptions(args, allowed, now, error);
  if (!options) return Bad(error);
  if (options->help) return Usage(usage, true);
  if (options->folders.empty()) options->folders.push_back(DefaultJournalFolder(program_folder));
  for (const std::filesystem::path& folder : options->folders) {
    std::error_code failed;
    if (!std::filesystem::is_directory(folder, failed)) {
      return Bad(Utf8Path(folder) + " is no folder");
    }
  }
  std::vector<ServerJournal> journals;
  if (!FindJournals(options->folders, journals, error)) return Bad(error);

  if (command == "search") {
    const std::size_t matched = SearchJournals(journals, options->query, options->format, Print,
                                               [](const std::string& message) { Warn(message); });
    return matched > 0 ? 0 : 1;
  }
  if (command == "verify") {
    if (journals.empty()) {
      std::fputs("no journal: no day files in the folders given\n", stdout);
      return 1;
    }
    const VerifyResult result = VerifyJournals(journals);
    Print(FormatVerifyResult(result));
    return result.breaks.empty() ? 0 : 1;
  }
  const JournalReport report =
      BuildReport(journals, options->query, [](const std::string& message) { Warn(message); });
  if (options->html) {
    std::ofstream out(PathFromUtf8(*options->html), std::ios::binary | std::ios::trunc);
    out << FormatReportHtml(report);
    out.close();
    if (!out) {
      std::fprintf(stderr, "quillmark journal: cannot write %s\n", options->html->c_str());
      return 2;
    }
  } else {
    Print(FormatReportText(report));
  }
  return report.total.Total() > 0 ? 0 : 1;
}

}  // namespace quillmark::tools
