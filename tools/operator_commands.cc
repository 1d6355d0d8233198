// The check and explain commands, their arguments read and their answers printed.
#include "tools/operator_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/config.h"
#include "tools/config_check.h"
#include "tools/explain.h"

namespace quillmark::tools {
namespace {

int Usage(const char* usage, bool asked) {
  std::fputs(usage, asked ? stdout : stderr);
  return asked ? 0 : 2;
}

}  // namespace

bool AsksForHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int RunCheck(const std::vector<std::string>& args, const char* usage) {
  if (args.size() != 3 || AsksForHelp(args[2])) return Usage(usage, args.size() == 3);
  const CheckReport report = CheckConfigFile(args[2]);
  std::fputs(FormatReport(args[2], report).c_str(), stdout);
  // The framework's file about the plugin, when it is beside config.json.
  const std::filesystem::path info =
      std::filesystem::path(args[2]).parent_path() / "PluginInfo.json";
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(info, ignored)) return report.ExitStatus();
  const CheckReport about = CheckPluginInfoFile(info.string());
  std::fputs(FormatReport(info.string(), about).c_str(), stdout);
  return std::max(report.ExitStatus(), about.ExitStatus());
}

int RunExplain(const std::vector<std::string>& args, const char* usage) {
  std::string config_file;
  std::optional<std::string> eos_id;  // an empty id is an id: a player may have none
  bool admin = false;
  bool plugin = false;              // a plugin runs the command for the player
  std::vector<std::string> groups;  // the Permissions plugin's groups the player is in
  // The options come first; the command is the rest, its words joined by spaces. After "--"
  // everything is the command, so that it may begin with "-".
  std::size_t i = 2;
  for (; i < args.size(); ++i) {
    if (AsksForHelp(args[i])) return Usage(usage, true);
    if ((args[i] == "--config" || args[i] == "--eos") && i + 1 < args.size()) {
      if (args[i] == "--config") {
        config_file = args[++i];
      } else {
        eos_id = args[++i];
      }
    } else if (args[i] == "--admin") {
      admin = true;
    } else if (args[i] == "--plugin") {
      plugin = true;
    } else if (args[i] == "--groups" && i + 1 < args.size()) {
      const std::string& list = args[++i];
      for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (comma > start) groups.push_back(list.substr(start, comma - start));
        start = comma + 1;
      }
    } else {
      if (args[i] == "--") ++i;
      break;
    }
  }
  std::string command;
  for (std::size_t first = i; i < args.size(); ++i) {
    if (i > first) command += ' ';
    command += args[i];
  }
  if (config_file.empty() || !eos_id) return Usage(usage, false);
  nlohmann::json config;
  try {
    config = ReadConfigFile(config_file);
  } catch (const ConfigError& e) {
    std::fprintf(stderr, "%s: error: %s\n", config_file.c_str(), e.what());
    return 2;
  }
  const Explanation explanation = Explain(config, *eos_id, admin, command, groups, plugin);
  for (const std::string& line : explanation.lines) std::printf("%s\n", line.c_str());
  return explanation.allowed ? 0 : 1;
}

}  // namespace quillmark::tools
