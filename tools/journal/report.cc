// Counting the journal's commands, and the report as text.
#include "tools/journal/report.h"

#include <algorithm>

#include "audit/audit_text.h"

namespace quillmark::tools {
namespace {

constexpr char kRconName[] = "RCON";

void Count(Tally& tally, const JournalRecord& record) {
  if (record.source == "rcon") {
    ++tally.rcon;
  } else if (record.decision == "blocked") {
    ++tally.blocked;
  } else {
    ++tally.allowed;
  }
}

// Rows of text in columns, the first left-aligned, the others right-aligned.
std::string Columns(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], CountCharacters(row[i]));
    }
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string pad(widths[i] - CountCharacters(row[i]), ' ');
      if (i > 0) line += "  ";
      line += i + 4 < row.size() ? row[i] + pad : pad + row[i];
    }
    text += line + "\n";
  }
  return text;
}

std::vector<std::string> Counts(const Tally& tally) {
  return {std::to_string(tally.allowed), std::to_string(tally.blocked), std::to_string(tally.rcon),
          std::to_string(tally.Total())};
}

template <typename Map, typename Names>
std::string Table(const std::string& title, std::vector<std::string> heads, const Map& rows,
                  const Names& names, const Tally& total) {
  const std::size_t name_columns = heads.size();
  for (const char* head : {"allowed", "blocked", "rcon", "total"}) heads.emplace_back(head);
  std::vector<std::vector<std::string>> cells{heads};
  for (const auto& [key, tally] : rows) {
    std::vector<std::string> row = names(key);
    for (std::string& name : row) name = EscapeForDisplay(name);
    for (std::string& count : Counts(tally)) row.push_back(std::move(count));
    cells.push_back(std::move(row));
  }
  std::vector<std::string> last(name_columns, "");
  last[0] = "total";
  for (std::string& count : Counts(total)) last.push_back(std::move(count));
  cells.push_back(std::move(last));
  return title + "\n" + Columns(cells);
}

}  // namespace

JournalReport BuildReport(const std::vector<ServerJournal>& journals, const RecordQuery& query,
                          const std::function<void(const std::string&)>& warn) {
  JournalReport report;
  report.servers = journals.size();
  ReadMerged(
      journals, RecordFilter(query),
      [&](std::string_view, const JournalRecord& record, const ServerJournal&) {
        if (record.source.empty()) {
          if ((record.event == "omitted" || record.event == "unwritten") && record.count) {
            report.not_written += *record.count;
          }
          return;
        }
        Count(report.total, record);
        Count(report.days[record.time.substr(0, 10)], record);
        Count(record.source == "rcon" ? report.players[{kRconName, ""}]
                                      : report.players[{record.player, record.eosid}],
              record);
        std::string word;
        if (record.decision == "blocked" && record.refused_part) {
          word = CommandWords(record.refused_command).front();
        } else {
          word = CommandWords(record.command).front();
        }
        Count(report.commands[word], record);
      },
      [&](const PassedOver& where) {
        warn(where.file + ":" + std::to_string(where.line) + ": " +
             (where.torn ? "a torn last line" : "not a record") + ", passed over");
      },
      [&](const std::string& file) { warn(file + ": cannot be read"); });
  return report;
}

std::string FormatReportText(const JournalReport& report) {
  std::string text = Table(
      "Commands per day", {"day"}, report.days,
      [](const std::string& day) { return std::vector<std::string>{day}; }, report.total);
  text += '\n';
  text += Table(
      "Commands per player", {"player", "eosid"}, report.players,
      [](const std::pair<std::string, std::string>& player) {
        return std::vector<std::string>{player.first, player.second};
      },
      report.total);
  text += '\n';
  text += Table(
      "Commands per command word", {"command"}, report.commands,
      [](const std::string& word) { return std::vector<std::string>{word}; }, report.total);
  if (report.not_written > 0) {
    text += '\n';
    text += std::to_string(report.not_written);
    text += " more commands were counted by the plugin but not written (omitted or unwritten)\n";
  }
  return text;
}

}  // namespace quillmark::tools
