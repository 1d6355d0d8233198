// The configuration checker: reads config.json exactly as the plugin does and reports what the
// plugin would do with it that its operator may not expect. Errors are what make start-up fail,
// what makes handling a command write an error line, and what the plugin reports as it puts the
// file in force; warnings are what the plugin silently passes over or what cannot mean what it
// seems to say. Each finding names its place as a JSON Pointer. No token of a webhook is ever
// shown, wherever in the file it stands.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/libraries.h"

namespace quillmark::tools {

enum class Severity { kWarning, kError };

struct Finding {
  Severity severity = Severity::kWarning;
  std::string path;      // JSON Pointer into the document; empty for the file as a whole
  std::string message;   // one sentence, without the path
  std::size_t line = 0;  // for a file that does not parse: where, from 1
  std::size_t column = 0;
};

struct CheckReport {
  std::vector<Finding> findings;
  std::string summary;  // what is in force when the file loads, the webhook masked
  // 0 when clean, 1 with warnings only, 2 with errors.
  [[nodiscard]] int ExitStatus() const;
};

// Checks the file at `path`, and with PermissionsFindings the server it belongs to.
CheckReport CheckConfigFile(const std::string& path);
// For a file in a server's plugin folder (ArkApi/Plugins/<name>/): a warning at the first entry
// of "admins" with "groups" when that server has no ArkApi/Plugins/Permissions/, whose plugin
// alone says who is in a group. Nothing for a file elsewhere.
std::vector<Finding> PermissionsFindings(const std::string& config_path,
                                         const nlohmann::json& config);
// Checks a file's text, its repeated keys included.
CheckReport CheckConfigText(std::string text);
// Checks a document as the plugin would have read it.
CheckReport CheckConfig(const nlohmann::json& config);

// Checks the framework's PluginInfo.json of the plugin at `path`, as the framework reads it: a
// value of the wrong type is an error (the framework does not load the plugin), except
// PreventUnloading, which the framework then reads as false with a warning: a warning here too,
// for the plugin can then be unloaded by anyone granted plugins.unload.
CheckReport CheckPluginInfoFile(const std::string& path);

// The report as the command prints it, `file` naming the file in each line.
std::string FormatReport(const std::string& file, const CheckReport& report);

}  // namespace quillmark::tools
