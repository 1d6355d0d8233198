// What config.json says of the journal: "journal": {"enabled", "folder", "keep-days",
// "day-limit-mib"}, read once when the configuration is put in force.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/config.h"
#include "host/libraries.h"

namespace quillmark {

struct JournalSettings {
  bool enabled = true;
  std::string folder = "journal";  // relative: from the plugin's folder
  std::int64_t keep_days = 365;    // 0: every day file is kept
  std::int64_t day_limit_mib = 1024;
  bool operator==(const JournalSettings&) const = default;
};

// Reads "journal" from `config`. Each problem adds one, with its place, to `problems`, and
// leaves that setting at its default. Never throws but for want of memory.
JournalSettings ReadJournalSettings(const nlohmann::json& config,
                                    std::vector<ConfigProblem>& problems);

}  // namespace quillmark
