// Reading the journal's settings.
#include "journal/journal_settings.h"

#include <limits>

#include "audit/audit_text.h"

namespace quillmark {
namespace {

// A whole number from `low` up, or a problem.
bool ReadCount(const nlohmann::json& journal, const char* key, std::int64_t low, std::int64_t& out,
               std::vector<ConfigProblem>& problems) {
  const auto value = journal.find(key);
  if (value == journal.end() || value->is_null()) return true;
  if ((value->is_number_integer() || value->is_number_unsigned()) &&
      !(value->is_number_unsigned() &&
        value->get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) &&
      value->get<std::int64_t>() >= low) {
    out = value->get<std::int64_t>();
    return true;
  }
  problems.push_back({fmt::format("/journal/{}", key),
                      fmt::format("config.json: \"journal\".\"{}\" must be a whole number from "
                                  "{} up, but is {}: it is {}",
                                  key, low, DescribedConfigValue(*value), out)});
  return false;
}

}  // namespace

JournalSettings ReadJournalSettings(const nlohmann::json& config,
                                    std::vector<ConfigProblem>& problems) {
  JournalSettings settings;
  if (!config.is_object()) return settings;
  const auto journal = config.find("journal");
  if (journal == config.end() || journal->is_null()) return settings;
  if (!journal->is_object()) {
    problems.push_back({"/journal", fmt::format("config.json: \"journal\" must be an object, but "
                                                "is {}: the journal is kept in \"journal\"",
                                                DescribedConfigValue(*journal))});
    return settings;
  }
  if (const auto enabled = journal->find("enabled");
      enabled != journal->end() && !enabled->is_null()) {
    if (enabled->is_boolean()) {
      settings.enabled = enabled->get<bool>();
    } else {
      problems.push_back(
          {"/journal/enabled", fmt::format("config.json: \"journal\".\"enabled\" must be true or "
                                           "false, but is {}: the journal is kept",
                                           DescribedConfigValue(*enabled))});
    }
  }
  if (const auto folder = journal->find("folder"); folder != journal->end() && !folder->is_null()) {
    if (folder->is_string() && !folder->get_ref<const std::string&>().empty()) {
      settings.folder = folder->get<std::string>();
    } else {
      problems.push_back(
          {"/journal/folder", fmt::format("config.json: \"journal\".\"folder\" must be a folder's "
                                          "name or path, but is {}: the journal is kept in "
                                          "\"journal\"",
                                          DescribedConfigValue(*folder))});
    }
  }
  ReadCount(*journal, "keep-days", 0, settings.keep_days, problems);
  ReadCount(*journal, "day-limit-mib", 1, settings.day_limit_mib, problems);
  return settings;
}

}  // namespace quillmark
