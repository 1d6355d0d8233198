// The dry run's explanation.
#include "tools/explain.h"

#include "audit/allow_list.h"
#include "audit/audit_text.h"
#include "audit/decision.h"
#include "audit/plugin_commands.h"
#include "audit/rule_place.h"
#include "base/url_mask.h"
#include "host/host.h"
#include "host/unicode.h"

namespace quillmark::tools {
namespace {

using nlohmann::json;

// A text the player typed as it may be shown: the admin password hidden, escaped.
std::string Typed(std::string_view text) { return EscapeForDisplay(HideSecrets(text)); }

// A text of the file as it may be shown: any URL in it masked, escaped.
std::string Configured(const json& text) {
  return ShownConfigText(text.get_ref<const std::string&>());
}

std::string Id(const std::string& eos_id) {
  return eos_id.empty() ? std::string("the empty EOS id") : EscapeForDisplay(eos_id);
}

std::string Reason(const json& config, const PartTrace& part, const std::string& eos_id) {
  const std::string word = part.word.empty() ? std::string("the empty command")
                                             : fmt::format("\"{}\"", Typed(part.word));
  if (part.plugin_entry != kNowhere) {
    const json& entry = config["plugin-commands"]["allowed-commands"][part.plugin_entry];
    return fmt::format(
        "{} is not the player's to run, but plugins may run it for players by "
        "/plugin-commands/allowed-commands/{} (\"{}\")",
        word, part.plugin_entry, Configured(entry));
  }
  if (part.white_list_entry != kNowhere) {
    const json& entry = config["white-list"][part.white_list_entry];
    return fmt::format("{} is white-listed by /white-list/{} (\"{}\")", word, part.white_list_entry,
                       Configured(entry));
  }
  const GrantFound& grant = part.grant;
  if (grant.granted) {
    const json& admins = config.at("admins");
    const json& entry = *Walk(admins)[grant.entry];
    const json& commands = entry.at("allowed-commands");
    const json& granting = *Walk(commands)[grant.grant];
    const std::string entry_at = WalkPlace(admins, grant.entry, "/admins");
    const std::string grant_at = WalkPlace(commands, grant.grant, entry_at + "/allowed-commands");
    return fmt::format(
        "{} is granted to {} by {} (\"{}\" at {}){}, {}", word, Id(eos_id), MaskUrlsIn(entry_at),
        Configured(granting), MaskUrlsIn(grant_at),
        grant.group.empty() ? std::string()
                            : fmt::format(" through the group {}", EscapeForDisplay(grant.group)),
        part.admin ? "and the administrator bit is set" : "but the administrator bit is off");
  }
  std::string reason =
      grant.named ? fmt::format(
                        "{} is not white-listed, and no entry of \"admins\" that names {} grants "
                        "it",
                        word, Id(eos_id))
                  : fmt::format("{} is not white-listed, and no entry of \"admins\" names {}", word,
                                Id(eos_id));
  if (!grant.error.empty()) {
    reason += fmt::format(" (the search of \"admins\" stopped at an element that is not text: {})",
                          grant.error);
  }
  return reason;
}

}  // namespace

Explanation Explain(const nlohmann::json& config, const std::string& eos_id, bool admin,
                    std::string_view command, const std::vector<std::string>& groups, bool plugin) {
  const AllowList rules(config);
  std::vector<ConfigProblem> problems;  // the checker's to report
  const PluginCommands plugin_commands = ReadPluginCommands(config, problems);
  HostText units = host::Utf8ToUtf16<HostChar>(command);  // as the framework decodes it
  units.resize(
      std::char_traits<HostChar>::length(units.c_str()));  // the game's text ends at a zero
  std::vector<PartTrace> trace;
  const Decision decision = DecideCommand(
      rules, HostView(units), eos_id, [admin] { return admin; }, &trace,
      [&groups] { return std::optional<std::vector<std::string>>(groups); },
      plugin ? &plugin_commands : nullptr);

  Explanation explanation;
  explanation.allowed = decision.allowed;
  explanation.lines.push_back(
      decision.parts > 1 ? fmt::format("{}: the console runs this line as {} commands, and {}",
                                       decision.allowed ? "let through" : "blocked", decision.parts,
                                       decision.allowed ? "every one is allowed"
                                                        : fmt::format("command {} is not allowed",
                                                                      decision.refused_part))
                         : std::string(decision.allowed ? "let through" : "blocked"));
  if (plugin) explanation.lines.front() += " (run by a plugin for the player)";
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const PartTrace& part = trace[i];
    // A line decided as one part has a second trace only for a comment inside its first word:
    // the word the console runs.
    const std::string label = decision.parts > 1 ? fmt::format("{}. ", i + 1)
                              : i > 0            ? std::string("the console runs ")
                                                 : std::string();
    explanation.lines.push_back(
        fmt::format("  {}\"{}\": {}{}", label, Typed(part.text), Reason(config, part, eos_id),
                    plugin && !part.allowed ? "; nor is it a word of \"plugin-commands\"" : ""));
  }
  if (!decision.error.empty()) {
    explanation.lines.push_back(
        fmt::format("  the plugin also writes the error line: Error while checking admin command "
                    "permissions: {}",
                    decision.error));
  }
  return explanation;
}

}  // namespace quillmark::tools
