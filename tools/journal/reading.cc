// Reading journals through a filter, merged by time.
#include "tools/journal/reading.h"

#include <cstring>
#include <memory>
#include <queue>

#include "audit/audit_text.h"
#include "audit/console_line.h"
#include "host/libraries.h"

namespace quillmark::tools {
namespace {

// The first word of `part`, split at spaces as the decision splits it, lower-cased.
std::string FirstWord(std::string_view part) {
  std::size_t start = 0;
  while (start < part.size() && part[start] == ' ') ++start;
  std::size_t end = start;
  while (end < part.size() && part[end] != ' ') ++end;
  return Lower(part.substr(start, end - start));
}

bool IsBlank(std::string_view part) {
  return part.find_first_not_of(" \t") == std::string_view::npos;
}

// One server's records, read ahead by one that matches.
struct Cursor {
  const ServerJournal* journal = nullptr;
  std::size_t order = 0;
  std::size_t file = 0;
  std::unique_ptr<LineReader> reader;
  std::string line;
  JournalRecord record;
};

}  // namespace

std::vector<std::string> CommandWords(std::string_view command) {
  if (!MaySplit(command)) return {FirstWord(command)};
  std::vector<std::string> words;
  ForEachConsolePart(command, [&](const ConsolePart& part) {
    const std::string_view runs = command.substr(part.begin, part.run_end - part.begin);
    if (!IsBlank(runs)) words.push_back(FirstWord(runs));
  });
  if (words.empty()) words.emplace_back();
  return words;
}

RecordFilter::RecordFilter(RecordQuery query) : query_(std::move(query)) {
  if (query_.player) player_lower_ = Lower(*query_.player);
  if (query_.command) command_ = AllowList(nlohmann::json{{"white-list", {*query_.command}}});
  for (const auto* exact : {&query_.eos, &query_.decision, &query_.source}) {
    if (*exact) needles_.push_back(nlohmann::json(**exact).dump());
  }
}

bool RecordFilter::MayMatch(std::string_view line, const ServerJournal& journal) const {
  if (std::memchr(line.data(), '\\', line.size()) != nullptr) return true;
  for (const std::string& needle : needles_) {
    if (line.find(needle) == std::string_view::npos) return false;
  }
  if (query_.server && journal.name != *query_.server &&
      line.find(nlohmann::json(*query_.server).dump()) == std::string_view::npos) {
    return false;
  }
  return true;
}

bool RecordFilter::Matches(const JournalRecord& record, const ServerJournal& journal) const {
  if (!query_.since.empty() && record.time < query_.since) return false;
  if (!query_.until.empty() && !(record.time < query_.until)) return false;
  if (query_.server && record.server != *query_.server && journal.name != *query_.server) {
    return false;
  }
  if (query_.decision && record.decision != *query_.decision) return false;
  if (query_.source && record.source != *query_.source) return false;
  if (query_.eos && (record.source.empty() || record.eosid != *query_.eos)) return false;
  if (player_lower_ &&
      (record.source.empty() || Lower(record.player).find(*player_lower_) == std::string::npos)) {
    return false;
  }
  if (query_.command) {
    if (record.source.empty()) return false;
    bool found = false;
    for (const std::string& word : CommandWords(record.command)) {
      found = found || command_.WhiteListEntry(word) != kNowhere;
    }
    if (!found) return false;
  }
  return true;
}

std::size_t ReadMerged(
    const std::vector<ServerJournal>& journals, const RecordFilter& filter,
    const std::function<void(std::string_view, const JournalRecord&, const ServerJournal&)>& each,
    const std::function<void(const PassedOver&)>& passed_over,
    const std::function<void(const std::string&)>& unreadable) {
  // The next matching record of a cursor; false when its journal is done.
  const auto advance = [&](Cursor& cursor) {
    const ServerJournal& journal = *cursor.journal;
    Line line;
    for (;;) {
      if (!cursor.reader) {
        if (cursor.file >= journal.files.size()) return false;
        cursor.reader = std::make_unique<LineReader>(journal.files[cursor.file]);
        if (!cursor.reader->IsOpen()) unreadable(Utf8Path(journal.files[cursor.file]));
      }
      if (!cursor.reader->Next(line)) {
        if (cursor.reader->Failed()) unreadable(Utf8Path(journal.files[cursor.file]));
        cursor.reader.reset();
        ++cursor.file;
        continue;
      }
      if (!line.too_long && !filter.MayMatch(line.text, journal)) continue;
      if (line.too_long || !ParseRecord(line.text, cursor.record)) {
        PassedOver where{Utf8Path(journal.files[cursor.file]), line.number, false};
        where.torn = !line.ended;
        passed_over(where);
        continue;
      }
      if (!filter.Matches(cursor.record, journal)) continue;
      cursor.line.assign(line.text);
      return true;
    }
  };
  const auto later = [](const Cursor* a, const Cursor* b) {
    const int order = a->record.time.compare(b->record.time);
    return order != 0 ? order > 0 : a->order > b->order;
  };
  std::vector<std::unique_ptr<Cursor>> cursors;
  std::priority_queue<Cursor*, std::vector<Cursor*>, decltype(later)> heads(later);
  for (const ServerJournal& journal : journals) {
    auto cursor = std::make_unique<Cursor>();
    cursor->journal = &journal;
    cursor->order = cursors.size();
    if (advance(*cursor)) heads.push(cursor.get());
    cursors.push_back(std::move(cursor));
  }
  std::size_t given = 0;
  while (!heads.empty()) {
    Cursor* next = heads.top();
    heads.pop();
    each(next->line, next->record, *next->journal);
    ++given;
    if (advance(*next)) heads.push(next);
  }
  return given;
}

}  // namespace quillmark::tools
