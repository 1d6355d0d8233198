// The records of several servers' journals read as one stream, merged by time, through a filter:
// what search, report and the fuzz target share. Lines that are no record are passed over and
// counted; the first few are named.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audit/allow_list.h"
#include "tools/journal/files.h"
#include "tools/journal/record.h"

namespace quillmark::tools {

// What an operator asks for; every given condition must hold. Times are in the records' form
// (see when.h). A condition on a command's fields (player, EOS id, command word, decision,
// source) is never met by a plugin event.
struct RecordQuery {
  std::string since;                    // time >= since, when not empty
  std::string until;                    // time < until, when not empty
  std::optional<std::string> player;    // part of the name, letter case of A-Z aside
  std::optional<std::string> eos;       // the EOS id, exactly
  std::optional<std::string> command;   // a command word, as a white-list entry matches it
  std::optional<std::string> decision;  // exactly
  std::optional<std::string> source;    // exactly
  std::optional<std::string> server;    // the record's label or its folder's name, exactly
};

class RecordFilter {
 public:
  explicit RecordFilter(RecordQuery query);

  // False only when `line` cannot hold a record that matches: a value asked for exactly is not
  // in it, and it holds no escape that could spell it. Never false for a line that Matches.
  [[nodiscard]] bool MayMatch(std::string_view line, const ServerJournal& journal) const;
  [[nodiscard]] bool Matches(const JournalRecord& record, const ServerJournal& journal) const;

 private:
  RecordQuery query_;
  std::optional<std::string> player_lower_;
  AllowList command_;
  std::vector<std::string> needles_;  // exact values as JSON writes them: "…"
};

// Where a line that is no record was found.
struct PassedOver {
  std::string file;  // UTF-8 path
  std::size_t line = 0;
  bool torn = false;  // the last line of its file, without its "\n"
};

// Every record of `journals` that `filter` matches, in order of time (records of one time in
// the order of the journals, each server's in its files' order): `each(line, record, journal)`.
// `passed_over` hears of every line that is no record; `unreadable` of a file that cannot be
// read (its path and why). Returns the number of records given to `each`.
std::size_t ReadMerged(
    const std::vector<ServerJournal>& journals, const RecordFilter& filter,
    const std::function<void(std::string_view, const JournalRecord&, const ServerJournal&)>& each,
    const std::function<void(const PassedOver&)>& passed_over,
    const std::function<void(const std::string&)>& unreadable);

// The command words of a command as the console runs it: one per part that runs something (a
// command that cannot be split is one part), each its first word, A-Z lower-cased.
std::vector<std::string> CommandWords(std::string_view command);

}  // namespace quillmark::tools
