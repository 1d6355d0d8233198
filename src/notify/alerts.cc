// Reading the alert rules and matching commands against them.
#include "notify/alerts.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "audit/audit_text.h"
#include "audit/console_line.h"

namespace quillmark {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string FirstWord(std::string_view part) {
  const std::size_t begin = part.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  return Lower(part.substr(begin, part.find_first_of(kBlanks, begin) - begin));
}

std::string Shown(const nlohmann::json& value) { return ShownConfigText(value.dump(), 60); }

// One rule's place as the error lines name it: "alerts"[2].
std::string Where(std::size_t rule) { return fmt::format("\"alerts\"[{}]", rule); }

class AlertReader {
 public:
  explicit AlertReader(std::vector<ConfigProblem>& problems) : problems_(problems) {}

  void Read(const nlohmann::json& alerts) {
    if (!alerts.is_array()) {
      Problem("/alerts", fmt::format("\"alerts\" must be an array of rules, but is {}: nothing "
                                     "pings",
                                     alerts.type_name()));
      return;
    }
    for (std::size_t i = 0; i < alerts.size(); ++i) Rule(alerts[i], i);
  }

  std::vector<AlertRule> Take() { return std::move(rules_); }

 private:
  void Problem(std::string path, const std::string& message) {
    problems_.push_back({std::move(path), "config.json: " + message});
  }

  void Rule(const nlohmann::json& entry, std::size_t i) {
    const std::string at = fmt::format("/alerts/{}", i);
    if (!entry.is_object()) {
      Problem(at, fmt::format("{} must be an object, but is {}: it is dropped", Where(i),
                              entry.type_name()));
      return;
    }
    AlertRule rule;
    if (!Commands(entry, i, rule)) return;
    if (const auto blocked = entry.find("blocked"); blocked != entry.end()) {
      if (!blocked->is_boolean()) {
        Problem(at + "/blocked",
                fmt::format("{}.\"blocked\" must be true or false, but is {}: the rule is dropped",
                            Where(i), Shown(*blocked)));
        return;
      }
      rule.blocked_only = blocked->get<bool>();
    }
    Mentions(entry, i, rule);
    if (!rule.mentions.empty()) rules_.push_back(std::move(rule));
  }

  // False when the rule is dropped.
  bool Commands(const nlohmann::json& entry, std::size_t i, AlertRule& rule) {
    const auto commands = entry.find("commands");
    if (commands == entry.end()) {
      rule.every_word = true;
      return true;
    }
    const std::string at = fmt::format("/alerts/{}/commands", i);
    if (!commands->is_array()) {
      Problem(at, fmt::format("{}.\"commands\" must be an array of command words, but is {}: the "
                              "rule is dropped",
                              Where(i), Shown(*commands)));
      return false;
    }
    for (std::size_t j = 0; j < commands->size(); ++j) {
      const nlohmann::json& word = (*commands)[j];
      if (!word.is_string()) {
        Problem(fmt::format("{}/{}", at, j),
                fmt::format("{}.\"commands\"[{}] is not text but {}: it is passed over", Where(i),
                            j, Shown(word)));
        continue;
      }
      std::string lower = Lower(word.get_ref<const std::string&>());
      if (lower == "*") rule.every_word = true;
      if (std::find(rule.words.begin(), rule.words.end(), lower) == rule.words.end()) {
        rule.words.push_back(std::move(lower));
      }
    }
    if (rule.words.empty()) {
      Problem(at, fmt::format("{}.\"commands\" names no command word: the rule is dropped (leave "
                              "\"commands\" out for every word)",
                              Where(i)));
      return false;
    }
    return true;
  }

  void Mentions(const nlohmann::json& entry, std::size_t i, AlertRule& rule) {
    const std::string at = fmt::format("/alerts/{}/mention", i);
    const auto mentions = entry.find("mention");
    if (mentions == entry.end() || !mentions->is_array() || mentions->empty()) {
      Problem(mentions == entry.end() ? fmt::format("/alerts/{}", i) : at,
              mentions == entry.end()
                  ? fmt::format("{} has no \"mention\": the rule is dropped", Where(i))
                  : fmt::format("{}.\"mention\" must be an array of mentions (\"<@&ROLE_ID>\" or "
                                "\"<@USER_ID>\"), but is {}: the rule is dropped",
                                Where(i), Shown(*mentions)));
      return;
    }
    for (std::size_t j = 0; j < mentions->size(); ++j) {
      const nlohmann::json& mention = (*mentions)[j];
      const bool last = j + 1 == mentions->size();
      // The rule's end, when this was its last chance of a mention.
      const char* dropped =
          last && rule.mentions.empty() ? ", and the rule with it, which has no other" : "";
      const std::string place = fmt::format("{}/{}", at, j);
      if (!mention.is_string() || !IsMention(mention.get_ref<const std::string&>())) {
        Problem(place, fmt::format("{}.\"mention\"[{}] {} is not a mention (\"<@&ROLE_ID>\" for a "
                                   "role, \"<@USER_ID>\" for a user, the id in digits): it is "
                                   "dropped{}",
                                   Where(i), j, Shown(mention), dropped));
        continue;
      }
      const std::string& text = mention.get_ref<const std::string&>();
      if (std::find(rule.mentions.begin(), rule.mentions.end(), text) != rule.mentions.end()) {
        continue;
      }
      if (const std::string full = Fits(text); !full.empty()) {
        Problem(place, fmt::format("{}.\"mention\"[{}] {} would make a post name {}, more than "
                                   "Discord takes: it is dropped{}",
                                   Where(i), j, Shown(mention), full, dropped));
        continue;
      }
      rule.mentions.push_back(text);
    }
  }

  // Empty when `mention` fits a post that names every mention of every rule; else what it would
  // pass.
  std::string Fits(const std::string& mention) {
    if (std::find(all_.begin(), all_.end(), mention) != all_.end()) return {};
    const bool role = IsRoleMention(mention);
    std::size_t& ids = role ? roles_ : users_;
    if (ids + 1 > kMaxMentionedIds) {
      return fmt::format("more than {} {}", kMaxMentionedIds, role ? "roles" : "users");
    }
    const std::size_t content = content_ + (all_.empty() ? 0 : 1) + mention.size();
    if (content > kMaxContent) return fmt::format("more than {} characters", kMaxContent);
    ++ids;
    content_ = content;
    all_.push_back(mention);
    return {};
  }

  std::vector<ConfigProblem>& problems_;
  std::vector<AlertRule> rules_;
  std::vector<std::string> all_;  // every mention kept, over every rule
  std::size_t roles_ = 0;
  std::size_t users_ = 0;
  std::size_t content_ = 0;
};

}  // namespace

bool IsMention(std::string_view text) {
  const std::size_t start = text.rfind("<@&", 0) == 0 ? 3 : text.rfind("<@", 0) == 0 ? 2 : 0;
  if (start == 0 || text.size() < start + 2 || text.back() != '>') return false;
  const std::string_view id = text.substr(start, text.size() - start - 1);
  if (id.size() > 20 ||
      !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
  return error == std::errc() && end == id.data() + id.size();
}

bool IsRoleMention(std::string_view mention) { return mention.rfind("<@&", 0) == 0; }

std::string_view MentionId(std::string_view mention) {
  const std::size_t start = IsRoleMention(mention) ? 3 : 2;
  return mention.size() > start ? mention.substr(start, mention.size() - start - 1)
                                : std::string_view();
}

std::vector<AlertRule> ReadAlerts(const nlohmann::json& config,
                                  std::vector<ConfigProblem>& problems) {
  if (!config.is_object()) return {};
  const auto alerts = config.find("alerts");
  if (alerts == config.end() || alerts->is_null()) return {};
  AlertReader reader(problems);
  reader.Read(*alerts);
  return reader.Take();
}

std::vector<std::string> AlertWords(std::string_view line) {
  std::vector<std::string> words = {FirstWord(line)};
  if (!MaySplit(line) && line.find("//") == std::string_view::npos) return words;
  ForEachConsolePart(line, [&](const ConsolePart& part) {
    std::string word = FirstWord(line.substr(part.begin, part.run_end - part.begin));
    if (std::find(words.begin(), words.end(), word) == words.end())
      words.push_back(std::move(word));
  });
  return words;
}

std::vector<std::string> AlertMentions(const std::vector<AlertRule>& rules, std::string_view line,
                                       bool blocked) {
  std::vector<std::string> mentions;
  if (rules.empty()) return mentions;
  const std::vector<std::string> words = AlertWords(line);
  for (const AlertRule& rule : rules) {
    if (rule.blocked_only && !blocked) continue;
    const bool matches =
        rule.every_word || std::any_of(words.begin(), words.end(), [&rule](const std::string& w) {
          return std::find(rule.words.begin(), rule.words.end(), w) != rule.words.end();
        });
    if (!matches) continue;
    for (const std::string& mention : rule.mentions) {
      if (std::find(mentions.begin(), mentions.end(), mention) == mentions.end()) {
        mentions.push_back(mention);
      }
    }
  }
  return mentions;
}

}  // namespace quillmark
