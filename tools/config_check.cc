// The configuration checker's findings.
#include "tools/config_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "audit/allow_list.h"
#include "audit/audit_settings.h"
#include "audit/audit_text.h"
#include "audit/plugin_commands.h"
#include "audit/rule_place.h"
#include "base/config.h"
#include "base/url_mask.h"
#include "journal/journal_settings.h"
#include "notify/discord.h"
#include "tools/repeated_keys.h"

namespace quillmark::tools {
namespace {

using nlohmann::json;
using Pointer = json::json_pointer;

// The keys the plugin reads, at each level.
const std::vector<std::string> kTopKeys = {"white-list", "admins",          "discordwh",
                                           "messages",   "discord",         "rcon",
                                           "journal",    "plugin-commands", "alerts"};
const std::vector<std::string> kEntryKeys = {"eosid", "groups", "allowed-commands"};
const std::vector<std::string> kMessagesKeys = {"sender", "blocked"};
const std::vector<std::string> kDiscordKeys = {"posts-per-minute", "queue-limit", "notify",
                                               "allow-any-webhook-host"};
// The hosts Discord's webhooks are executed at.
const std::vector<std::string> kDiscordHosts = {"discord.com",        "ptb.discord.com",
                                                "canary.discord.com", "discordapp.com",
                                                "ptb.discordapp.com", "canary.discordapp.com"};
const std::vector<std::string> kRconKeys = {"audit"};
const std::vector<std::string> kJournalKeys = {"enabled", "folder", "keep-days", "day-limit-mib"};
const std::vector<std::string> kPluginCommandsKeys = {"allowed-commands"};
const std::vector<std::string> kAlertKeys = {"commands", "blocked", "mention"};

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// `key` folded for comparison: lower case, without separators.
std::string Folded(std::string_view key) {
  std::string folded;
  for (const char c : Lower(key)) {
    if (c != '-' && c != '_' && c != ' ') folded.push_back(c);
  }
  return folded;
}

// The known key `key` was most likely meant to be; empty when none is close.
std::string Suggestion(const std::string& key, const std::vector<std::string>& known) {
  std::string best;
  std::size_t best_distance = 3;  // three edits or more is another word
  for (const std::string& candidate : known) {
    const std::size_t distance =
        Folded(key) == Folded(candidate) ? 0 : EditDistance(Lower(key), candidate);
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

// A place in the file as a finding names it. It holds the file's keys, which may be anything:
// any URL in it masked.
std::string Place(const Pointer& path) { return MaskUrlsIn(path.to_string()); }

// A value as a finding quotes it: short, escaped, on one line.
std::string Quoted(const json& value) { return ShownConfigText(value.dump(), 60); }

std::string Describe(const json& value) {
  return std::string(value.type_name()) + " " + Quoted(value);
}

// What in `text` no command word can hold, or empty: a blank ends the word, a line break or a
// "|" outside double quotes ends the console's part, and a zero character ends the game's text.
std::string_view NeverInAWord(std::string_view text) {
  bool quoted = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t') return "a blank";
    if (c == '\n' || c == '\r') return "a line break";
    if (c == '\0') return "a zero character";
    if (c == '|' && !quoted) return "a \"|\" outside double quotes";
    quoted = quoted != (c == '"');
  }
  return {};
}

bool IsEosId(const std::string& id) {
  return id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

class Checker {
 public:
  explicit Checker(const json& config) : config_(config) {}

  std::vector<Finding> Run() {
    std::vector<ConfigProblem> problems;
    (void)ReadAuditSettings(config_, problems);
    (void)ReadNotifySettings(config_, problems);
    (void)ReadJournalSettings(config_, problems);
    (void)ReadPluginCommands(config_, problems);
    for (ConfigProblem& problem : problems) {
      std::string message = std::move(problem.message);
      if (message.rfind("config.json: ", 0) == 0) message.erase(0, 13);
      Error(problem.path, message);
    }
    if (!config_.is_object()) return std::move(findings_);
    UnknownKeys(config_, Pointer(), kTopKeys);
    WhiteList();
    Admins();
    Webhook();
    if (const auto messages = config_.find("messages"); messages != config_.end()) {
      UnknownKeys(*messages, Pointer("/messages"), kMessagesKeys);
    }
    if (const auto discord = config_.find("discord"); discord != config_.end()) {
      UnknownKeys(*discord, Pointer("/discord"), kDiscordKeys);
    }
    if (const auto rcon = config_.find("rcon"); rcon != config_.end()) {
      UnknownKeys(*rcon, Pointer("/rcon"), kRconKeys);
    }
    if (const auto journal = config_.find("journal"); journal != config_.end()) {
      UnknownKeys(*journal, Pointer("/journal"), kJournalKeys);
    }
    PluginCommandWords();
    Alerts();
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return a.severity == Severity::kError && b.severity != Severity::kError;
    });
    return std::move(findings_);
  }

 private:
  void Add(Severity severity, const Pointer& path, std::string message) {
    findings_.push_back({severity, Place(path), std::move(message)});
  }
  // (A path holds the file's keys, which may be anything.)
  void Error(const std::string& path, std::string message) {
    findings_.push_back({Severity::kError, MaskUrlsIn(path), std::move(message)});
  }
  void Warn(const Pointer& path, std::string message) {
    Add(Severity::kWarning, path, std::move(message));
  }

  // Keys the plugin does not read. Keys that begin with "_" or "//" are remarks.
  void UnknownKeys(const json& object, const Pointer& at, const std::vector<std::string>& known) {
    if (!object.is_object()) return;
    for (const auto& [key, value] : object.items()) {
      if (std::find(known.begin(), known.end(), key) != known.end()) continue;
      if (key.rfind('_', 0) == 0 || key.rfind("//", 0) == 0) continue;
      const std::string meant = Suggestion(key, known);
      Warn(at / key, meant.empty()
                         ? "is not a key the plugin reads: it is passed over"
                         : fmt::format("is not a key the plugin reads: it is passed over (did "
                                       "you mean \"{}\"?)",
                                       meant));
    }
  }

  // What a text of an allow-list cannot mean, whatever it seems to say.
  void TextEntry(const Pointer& at, const std::string& text, bool white_list) {
    if (text.empty()) {
      Warn(at, white_list ? "is empty: it is passed over"
                          : "is empty: it grants only a command with no command word");
      return;
    }
    if (const std::string_view never = NeverInAWord(text); !never.empty()) {
      Warn(at, fmt::format("\"{}\" holds {}, which no command word the console passes on does: "
                           "it never matches",
                           ShownConfigText(text), never));
    } else if (white_list && text.find('*') != std::string::npos) {
      Warn(at, fmt::format("\"{}\" is not a wildcard: white-list entries are prefixes of the "
                           "command word, and \"*\" matches only itself",
                           ShownConfigText(text)));
    } else if (!white_list && text != "*" && text.find('*') != std::string::npos) {
      Warn(at, fmt::format("\"{}\" is not a wildcard: only \"*\" on its own grants every "
                           "command word, any other text grants that word only",
                           ShownConfigText(text)));
    }
  }

  void WhiteList() {
    const auto list = config_.find("white-list");
    if (list == config_.end()) return;
    const Pointer at("/white-list");
    if (!list->is_array()) {
      Warn(at,
           fmt::format("must be an array, but is {}: no command is white-listed", Describe(*list)));
      return;
    }
    std::vector<std::pair<std::string, std::size_t>> entries;  // lower-cased, index
    for (std::size_t i = 0; i < list->size(); ++i) {
      const json& element = (*list)[i];
      if (!element.is_string()) {
        Warn(at / i, fmt::format("is not text but {}: it is passed over", Describe(element)));
        continue;
      }
      const auto& text = element.get_ref<const std::string&>();
      TextEntry(at / i, text, true);
      if (!text.empty()) entries.emplace_back(Lower(text), i);
    }
    // Entries that another entry already lets through. In sorted order an entry follows every
    // entry that is a prefix of it, so a stack of the entries that cover nothing before them
    // finds each one's cover in one pass.
    std::sort(entries.begin(), entries.end());
    std::vector<const std::pair<std::string, std::size_t>*> covers;
    for (const auto& entry : entries) {
      while (!covers.empty() && entry.first.rfind(covers.back()->first, 0) != 0) covers.pop_back();
      if (covers.empty()) {
        covers.push_back(&entry);
        continue;
      }
      const auto& cover = *covers.back();
      // Of two equal entries the later one is the redundant one.
      const bool equal = cover.first == entry.first;
      Warn(at / entry.second,
           equal ? fmt::format("repeats \"{}\" ({}): it adds nothing", ShownConfigText(entry.first),
                               Place(at / cover.second))
                 : fmt::format("is already let through by \"{}\" ({}): every command word that "
                               "begins with it begins with that",
                               ShownConfigText(cover.first), Place(at / cover.second)));
    }
  }

  // The elements of `value` with their places, walked as the plugin walks it.
  static std::vector<std::pair<const json*, Pointer>> Walked(const json& value, const Pointer& at) {
    std::vector<std::pair<const json*, Pointer>> walked;
    if (value.is_array()) {
      for (std::size_t i = 0; i < value.size(); ++i) walked.emplace_back(&value[i], at / i);
    } else if (value.is_object()) {
      for (const auto& [key, element] : value.items()) walked.emplace_back(&element, at / key);
    } else if (!value.is_null()) {
      walked.emplace_back(&value, at);
    }
    return walked;
  }

  void Admins() {
    const auto admins = config_.find("admins");
    if (admins == config_.end()) return;
    const Pointer at("/admins");
    if (!admins->is_array()) {
      Warn(at, admins->is_object()
                   ? std::string("should be an array: the values of this object are read as its "
                                 "entries, in the order of their keys")
                   : fmt::format("must be an array, but is {}: no command is granted",
                                 Describe(*admins)));
    }
    std::map<std::string, std::string> first_named;  // EOS id -> where first named
    for (const auto& [entry, entry_at] : Walked(*admins, at)) {
      if (!entry->is_object()) {
        Warn(entry_at,
             fmt::format("must be an object, but is {}: it is passed over", Describe(*entry)));
        continue;
      }
      UnknownKeys(*entry, entry_at, kEntryKeys);
      EosIds(*entry, entry_at, first_named);
      Groups(*entry, entry_at);
      Grants(*entry, entry_at);
    }
  }

  void EosIds(const json& entry, const Pointer& at, std::map<std::string, std::string>& first) {
    const auto ids = entry.find("eosid");
    if (ids == entry.end()) {
      if (!entry.contains("groups")) Warn(at, "has no \"eosid\": it grants nothing to anyone");
      return;
    }
    if (!ids->is_array()) {
      Warn(at / "eosid",
           fmt::format("must be an array of EOS ids, but is {}: the entry grants nothing to "
                       "anyone",
                       Describe(*ids)));
      return;
    }
    if (ids->empty()) Warn(at / "eosid", "names no EOS id: the entry grants nothing to anyone");
    for (std::size_t i = 0; i < ids->size(); ++i) {
      const json& id = (*ids)[i];
      if (!id.is_string()) {
        Warn(at / "eosid" / i, fmt::format("is not text but {}: it names nobody", Describe(id)));
        continue;
      }
      const auto& text = id.get_ref<const std::string&>();
      if (!IsEosId(text)) {
        Warn(at / "eosid" / i,
             IsEosId(Lower(text))
                 ? fmt::format("\"{}\" has upper-case letters, but the server gives EOS ids in "
                               "lower case: it never matches",
                               ShownConfigText(text))
                 : fmt::format("\"{}\" is not an EOS id (32 hexadecimal characters): it "
                               "matches no player",
                               ShownConfigText(text)));
      }
      const auto [named, inserted] = first.emplace(text, Place(at / "eosid" / i));
      if (!inserted) {
        Warn(at / "eosid" / i,
             fmt::format("\"{}\" is already named at {}: entries are tried in order and the "
                         "first that grants a word decides, so grants are easy to misread",
                         ShownConfigText(text), named->second));
      }
    }
  }

  // The Permissions plugin's groups the entry applies to; names compare exactly.
  void Groups(const json& entry, const Pointer& at) {
    const auto groups = entry.find("groups");
    if (groups == entry.end()) return;
    if (!groups->is_array()) {
      Warn(at / "groups",
           fmt::format("must be an array of group names, but is {}: the entry applies through no "
                       "group",
                       Describe(*groups)));
      return;
    }
    for (std::size_t i = 0; i < groups->size(); ++i) {
      const json& group = (*groups)[i];
      if (!group.is_string()) {
        Warn(at / "groups" / i,
             fmt::format("is not text but {}: it names no group", Describe(group)));
      } else if (group.get_ref<const std::string&>().empty()) {
        Warn(at / "groups" / i, "is empty: it names no group");
      }
    }
  }

  void Grants(const json& entry, const Pointer& at) {
    const auto commands = entry.find("allowed-commands");
    if (commands == entry.end()) {
      Warn(at, "has no \"allowed-commands\": it grants nothing");
      return;
    }
    const Pointer list_at = at / "allowed-commands";
    if (commands->is_string()) {
      Warn(list_at, "should be an array: one text is read as a list of one");
    } else if (commands->is_object()) {
      Warn(list_at, "should be an array: the values of this object are read as the list");
    } else if (commands->is_null()) {
      Warn(list_at, "is null: it grants nothing");
    }
    for (const auto& [element, element_at] : Walked(*commands, list_at)) {
      if (!element->is_string()) {
        Error(element_at.to_string(),
              fmt::format("is not text but {}: a command of these EOS ids that reaches it "
                          "writes an error line, and no entry grants it anything from here on",
                          Describe(*element)));
        return;  // the plugin never reads past it
      }
      TextEntry(element_at, element->get_ref<const std::string&>(), false);
    }
  }

  // "plugin-commands": whole command words, as an entry of "admins" grants them (its problems of
  // shape are the plugin's own, above).
  void PluginCommandWords() {
    const auto plugin = config_.find("plugin-commands");
    if (plugin == config_.end() || !plugin->is_object()) return;
    const Pointer at("/plugin-commands");
    UnknownKeys(*plugin, at, kPluginCommandsKeys);
    const auto words = plugin->find("allowed-commands");
    if (words == plugin->end()) {
      Warn(at, "has no \"allowed-commands\": plugins run only what their players may");
      return;
    }
    if (!words->is_array()) return;
    for (std::size_t i = 0; i < words->size(); ++i) {
      const json& word = (*words)[i];
      if (word.is_string()) TextEntry(at / "allowed-commands" / i, word.get<std::string>(), false);
    }
  }

  // What the plugin reads of "alerts" without a word: keys it passes over, command words that
  // never match, rules that can never ping.
  void Alerts() {
    const auto alerts = config_.find("alerts");
    if (alerts == config_.end() || !alerts->is_array()) return;
    const Pointer at("/alerts");
    const auto webhook = config_.find("discordwh");
    if (!alerts->empty() && (webhook == config_.end() || !webhook->is_string() ||
                             webhook->get<std::string>().empty())) {
      Warn(at,
           "has rules, but \"discordwh\" names no webhook: nothing is posted, so nothing pings");
    }
    for (std::size_t i = 0; i < alerts->size(); ++i) {
      const json& rule = (*alerts)[i];
      if (!rule.is_object()) continue;
      UnknownKeys(rule, at / i, kAlertKeys);
      const auto commands = rule.find("commands");
      if (commands == rule.end() || !commands->is_array()) continue;
      for (std::size_t j = 0; j < commands->size(); ++j) {
        if ((*commands)[j].is_string()) {
          TextEntry(at / i / "commands" / j, (*commands)[j].get<std::string>(), false);
        }
      }
    }
  }

  void Webhook() {
    const auto webhook = config_.find("discordwh");
    if (webhook == config_.end() || !webhook->is_string()) return;
    const auto& url = webhook->get_ref<const std::string&>();
    if (url.empty()) return;
    const Pointer at("/discordwh");
    const std::string shown = MaskWebhook(url);
    // The server's posts do not verify certificates: only https to Discord's own hosts keeps the
    // token from whoever can answer in their place, unless the operator says otherwise.
    constexpr std::string_view kHttps = "https://";
    const bool https = url.rfind(kHttps, 0) == 0;
    const std::string_view authority =
        https ? std::string_view(url).substr(kHttps.size()) : std::string_view();
    const std::string url_host(authority.substr(0, authority.find_first_of(":/?#")));
    if (!https ||
        std::find(kDiscordHosts.begin(), kDiscordHosts.end(), url_host) == kDiscordHosts.end()) {
      if (AnyWebhookHostAllowed()) return;
      Add(Severity::kError, at,
          fmt::format("{} is not https:// to a Discord host (discord.com, discordapp.com, or their "
                      "ptb. and canary. subdomains): the server does not verify the certificates "
                      "of its posts, and whoever answers in Discord's place gets the webhook's "
                      "token. For a stand-in, set \"discord\": {{\"allow-any-webhook-host\": "
                      "true}}",
                      shown));
      return;
    }
    const auto shaped = [&url](std::string_view host) {
      const std::string start = fmt::format("https://{}/api/", host);
      if (url.rfind(start, 0) != 0) return false;
      std::string_view rest = std::string_view(url).substr(start.size());
      if (rest.size() > 1 && rest[0] == 'v' && rest.find('/') != std::string_view::npos) {
        rest.remove_prefix(rest.find('/') + 1);  // a versioned path: /api/v10/webhooks/...
      }
      if (rest.rfind("webhooks/", 0) != 0) return false;
      rest.remove_prefix(9);
      const std::size_t slash = rest.find('/');
      if (slash == 0 || slash == std::string_view::npos || slash + 1 == rest.size()) return false;
      return std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(slash),
                         [](char c) { return c >= '0' && c <= '9'; });
    };
    if (shaped("discord.com") || shaped("ptb.discord.com") || shaped("canary.discord.com")) return;
    if (shaped("discordapp.com")) {
      Warn(at, fmt::format("{} uses the old host discordapp.com: use discord.com", shown));
      return;
    }
    Warn(at, fmt::format("{} is not a Discord webhook URL "
                         "(https://discord.com/api/webhooks/<id>/<token>)",
                         shown));
  }

  // "discord"."allow-any-webhook-host": true lets "discordwh" name any host; anything but a
  // boolean is a finding of its own.
  bool AnyWebhookHostAllowed() {
    const auto discord = config_.find("discord");
    if (discord == config_.end() || !discord->is_object()) return false;
    const auto allow = discord->find("allow-any-webhook-host");
    if (allow == discord->end()) return false;
    if (!allow->is_boolean()) {
      Add(Severity::kError, Pointer("/discord/allow-any-webhook-host"),
          fmt::format("must be true or false, but is {}", Describe(*allow)));
      return false;
    }
    return allow->get<bool>();
  }

  const json& config_;
  std::vector<Finding> findings_;
};

std::string Summary(const json& config) {
  const AllowList rules(config);
  std::vector<ConfigProblem> problems;
  const NotifySettings notify = ReadNotifySettings(config, problems);
  return fmt::format("{} white-list entries, {} admin entries, {} EOS ids, webhook {}",
                     rules.WhiteListEntries(), rules.AdminEntries(), rules.EosIds(),
                     notify.webhook.empty() ? "off" : MaskWebhook(notify.webhook));
}

CheckReport Refused(const ConfigError& error) {
  return {{{Severity::kError, "", error.what(), error.Line(), error.Column()}},
          "the plugin does not start with this file"};
}

// What the file holds outside its one JSON value: remarks, and text after the value.

// The part of `text` from `offset` as a finding quotes it, the rest of its line only when
// `one_line`.
std::string Excerpt(const std::string& text, std::size_t offset, bool one_line) {
  const std::size_t end = one_line ? text.find_first_of("\r\n", offset) : std::string::npos;
  return ShownConfigText(
      std::string_view(text).substr(offset, std::min<std::size_t>(end - offset, 160)), 40);
}

// A comment, which the parser refuses at its first "/": the first "/" outside a text, when it is
// where the parser stopped (`error`); else nothing.
std::optional<Finding> Comment(const std::string& text, const ConfigError& error) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (quoted && text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && text[i] == '/') {
      const auto [line, column] = LineAndColumn(text, i);
      if (line != error.Line() || column != error.Column()) return {};
      return Finding{Severity::kError, "",
                     fmt::format("comments are not allowed in config.json, and line {} holds one "
                                 "(from column {}: \"{}\"): the plugin does not start with it; "
                                 "delete the comment (config.example.jsonc's remarks are the "
                                 "lines that begin with \"//\")",
                                 line, column, Excerpt(text, i, true)),
                     line, column};
    }
  }
  return {};
}

// Text after the first value, which the plugin reads past without a word.
std::optional<Finding> PassedOver(const std::string& text) {
  const std::size_t offset = PassedOverText(text);
  if (offset == std::string::npos) return {};
  const auto [line, column] = LineAndColumn(text, offset);
  return Finding{Severity::kWarning, "",
                 fmt::format("text follows the JSON value from line {}, column {} on (\"{}\"): "
                             "the plugin reads the first value only and passes over the rest, so "
                             "nothing in it is in force (a \"}}\" or \"]\" too many ends the "
                             "value early)",
                             line, column, Excerpt(text, offset, false)),
                 line, column};
}

// The framework's PluginInfo.json: each key and the type the framework reads it as.
struct InfoKey {
  const char* key;
  json::value_t type;
  const char* type_name;
};
constexpr InfoKey kInfoKeys[] = {{"FullName", json::value_t::string, "text"},
                                 {"Description", json::value_t::string, "text"},
                                 {"Version", json::value_t::number_float, "a number"},
                                 {"MinApiVersion", json::value_t::number_float, "a number"},
                                 {"Dependencies", json::value_t::array, "an array of texts"},
                                 {"PreventUnloading", json::value_t::boolean, "true or false"}};

bool HasType(const json& value, json::value_t type) {
  if (type == json::value_t::number_float) return value.is_number();
  if (type == json::value_t::array) {
    return value.is_array() && std::all_of(value.begin(), value.end(),
                                           [](const json& name) { return name.is_string(); });
  }
  return value.type() == type;
}

}  // namespace

CheckReport CheckPluginInfoFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const json info = json::parse(file, nullptr, false);
  if (!info.is_object()) {
    return {
        {{Severity::kError, "", "is not a JSON object: the framework does not load the plugin"}},
        "the framework does not load the plugin"};
  }
  CheckReport report;
  bool loads = true;
  bool unloadable = true;
  for (const InfoKey& key : kInfoKeys) {
    const auto it = info.find(key.key);
    if (it == info.end()) continue;
    if (HasType(*it, key.type)) {
      if (std::string_view(key.key) == "PreventUnloading") unloadable = !it->get<bool>();
      continue;
    }
    const std::string place = std::string("/") + key.key;
    const std::string found = fmt::format("is {}, not {}", Describe(*it), key.type_name);
    if (std::string_view(key.key) == "PreventUnloading") {
      report.findings.push_back(
          {Severity::kWarning, place,
           found + ": the framework reads it as false, and anyone granted plugins.unload can "
                   "unload the plugin (write true without quotes to prevent it)"});
    } else {
      loads = false;
      report.findings.push_back(
          {Severity::kError, place, found + ": the framework does not load the plugin"});
    }
  }
  report.summary = !loads       ? "the framework does not load the plugin"
                   : unloadable ? "the plugin can be unloaded"
                                : "the plugin cannot be unloaded";
  return report;
}

int CheckReport::ExitStatus() const {
  int status = 0;
  for (const Finding& finding : findings) {
    status = std::max(status, finding.severity == Severity::kError ? 2 : 1);
  }
  return status;
}

CheckReport CheckConfig(const nlohmann::json& config) {
  return {Checker(config).Run(), Summary(config)};
}

CheckReport CheckConfigFile(const std::string& path) {
  std::string text;
  try {
    text = ReadConfigText(path);
  } catch (const ConfigError& e) {
    return Refused(e);
  }
  CheckReport report = CheckConfigText(text);
  try {
    const json config = ParseConfigText(text);
    for (Finding& finding : PermissionsFindings(path, config)) {
      report.findings.push_back(std::move(finding));
    }
  } catch (const ConfigError&) {  // NOLINT(bugprone-empty-catch): reported above
  }
  return report;
}

std::vector<Finding> PermissionsFindings(const std::string& config_path,
                                         const nlohmann::json& config) {
  const std::filesystem::path plugins =
      std::filesystem::absolute(std::filesystem::path(config_path)).parent_path().parent_path();
  std::error_code ignored;
  if (plugins.filename() != "Plugins" ||
      std::filesystem::is_directory(plugins / "Permissions", ignored)) {
    return {};
  }
  const auto admins = config.is_object() ? config.find("admins") : config.end();
  if (admins == config.end()) return {};
  const auto entries = Walk(*admins);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const json& entry = *entries[i];
    if (!entry.is_object() || !entry.contains("groups")) continue;
    return {{Severity::kWarning, MaskUrlsIn(WalkPlace(*admins, i, "/admins") + "/groups"),
             "names groups of the Permissions plugin, but this server has no "
             "ArkApi/Plugins/Permissions/: entries with \"groups\" grant nothing until that "
             "plugin is loaded"}};
  }
  return {};
}

CheckReport CheckConfigText(std::string text) {
  nlohmann::json config;
  try {
    config = ParseConfigText(text);
  } catch (const ConfigError& e) {
    CheckReport refused = Refused(e);
    if (auto comment = Comment(text, e)) refused.findings = {std::move(*comment)};
    return refused;
  }
  CheckReport report = CheckConfig(config);
  if (auto passed_over = PassedOver(text)) report.findings.push_back(std::move(*passed_over));
  for (const std::string& path : RepeatedKeys(text)) {
    report.findings.push_back({Severity::kWarning, MaskUrlsIn(path),
                               "is given more than once in its object: the plugin reads only the "
                               "last one and passes over the others"});
  }
  return report;
}

std::string FormatReport(const std::string& file, const CheckReport& report) {
  std::string text;
  std::size_t errors = 0;
  for (const Finding& finding : report.findings) {
    const bool error = finding.severity == Severity::kError;
    errors += error ? 1 : 0;
    const std::string where =
        finding.line != 0 ? fmt::format("{}:{}:{}", file, finding.line, finding.column) : file;
    text += fmt::format("{}: {}: {}{}{}\n", where, error ? "error" : "warning", finding.path,
                        finding.path.empty() ? "" : " ", finding.message);
  }
  const std::size_t warnings = report.findings.size() - errors;
  text += fmt::format("{}: {} error{}, {} warning{}; {}\n", file, errors, errors == 1 ? "" : "s",
                      warnings, warnings == 1 ? "" : "s", report.summary);
  return text;
}

}  // namespace quillmark::tools
