// journal report: how many commands were let through, blocked and sent over RCON, per player
// (name and EOS id), per command word and per day; as text, or as one self-contained HTML page
// (inline CSS and SVG, nothing loaded from elsewhere) with a chart of commands per day.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/journal/files.h"
#include "tools/journal/reading.h"

namespace quillmark::tools {

struct Tally {
  std::uint64_t allowed = 0;
  std::uint64_t blocked = 0;
  std::uint64_t rcon = 0;
  [[nodiscard]] std::uint64_t Total() const { return allowed + blocked + rcon; }
};

struct JournalReport {
  std::map<std::string, Tally> days;  // by UTC day, "2026-12-09"
  // By player name and EOS id; RCON commands under the name "RCON" and no EOS id.
  std::map<std::pair<std::string, std::string>, Tally> players;
  // By command word; a line of several parts under its first part's word, a blocked one under
  // the word of its refused part.
  std::map<std::string, Tally> commands;
  Tally total;
  std::uint64_t not_written = 0;  // commands the "omitted" and "unwritten" events count
  std::size_t servers = 0;
};

// Counts the commands of `journals` within the query's times.
JournalReport BuildReport(const std::vector<ServerJournal>& journals, const RecordQuery& query,
                          const std::function<void(const std::string&)>& warn);

std::string FormatReportText(const JournalReport& report);
std::string FormatReportHtml(const JournalReport& report);

}  // namespace quillmark::tools
