// Checking each server's chain, and telling from seq and prev what a break shows.
#include "tools/journal/verify.h"

#include <optional>

#include "audit/audit_text.h"
#include "host/sha256.h"
#include "tools/journal/record.h"

namespace quillmark::tools {
namespace {

const std::string kNoPrevious(64, '0');

// One line of a server's journal as the chain sees it.
struct Item {
  bool whole = false;  // a record (else a line that is no record)
  std::uint64_t seq = 0;
  std::string prev;
  std::string hash;  // of the line, for a record
  std::string time;
  bool start = false;  // a "start" event
  std::size_t file = 0;
  std::size_t line = 0;
  bool ended = true;
};

// A server's lines, file after file.
class ServerLines {
 public:
  explicit ServerLines(const ServerJournal& journal) : journal_(journal) {}

  // The next line; false at the end. A file that cannot be read is named in `unreadable`.
  bool Next(Item& item, std::optional<std::size_t>& unreadable) {
    for (;;) {
      if (!reader_) {
        if (file_ >= journal_.files.size()) return false;
        reader_.emplace(journal_.files[file_]);
        if (!reader_->IsOpen()) {
          unreadable = file_;
          reader_.reset();
          ++file_;
          continue;
        }
      }
      Line line;
      if (!reader_->Next(line)) {
        if (reader_->Failed()) unreadable = file_;
        reader_.reset();
        ++file_;
        continue;
      }
      item.file = file_;
      item.line = line.number;
      item.ended = line.ended;
      item.whole = !line.too_long && ParseRecord(line.text, record_) && record_.seq.has_value() &&
                   record_.prev.size() == 64;
      if (item.whole) {
        item.seq = *record_.seq;
        item.prev.swap(record_.prev);
        item.time.swap(record_.time);
        item.start = record_.event == "start";
        item.hash = host::Sha256Hex(line.text);
      }
      return true;
    }
  }

  [[nodiscard]] std::string File(std::size_t index) const {
    return Utf8Path(journal_.files[index]);
  }
  [[nodiscard]] long Day(std::size_t index) const {
    return DayNumber(Utf8Path(journal_.files[index].filename()));
  }

 private:
  const ServerJournal& journal_;
  std::optional<LineReader> reader_;
  std::size_t file_ = 0;
  JournalRecord record_;
};

std::string Seqs(std::uint64_t first, std::uint64_t last) {
  return first == last ? "seq " + std::to_string(first)
                       : "seq " + std::to_string(first) + " to " + std::to_string(last);
}

class ServerCheck {
 public:
  ServerCheck(const ServerJournal& journal, VerifyResult& result)
      : journal_(journal), lines_(journal), result_(result) {}

  void Run() {
    Item item;
    std::optional<std::size_t> unreadable;
    while (lines_.Next(item, unreadable)) {
      if (unreadable) return Break(*unreadable, 0, BreakKind::kUnreadable, "cannot be read");
      if (!item.whole) {
        if (!damaged_) damaged_ = item;
        continue;
      }
      ++result_.records;
      if (result_.first_time.empty() || item.time < result_.first_time) {
        result_.first_time = item.time;
      }
      if (item.time > result_.last_time) result_.last_time = item.time;
      if (!Accept(item)) return;
    }
    if (unreadable) return Break(*unreadable, 0, BreakKind::kUnreadable, "cannot be read");
    if (damaged_) {
      if (!damaged_->ended) {
        result_.notes.push_back(lines_.File(damaged_->file) + ":" + std::to_string(damaged_->line) +
                                ": the last line is torn (a write cut short; the plugin passes "
                                "over it at its next start)");
      } else {
        Break(damaged_->file, damaged_->line, BreakKind::kNotARecord,
              "a line that is no record of the journal, after its last record");
      }
    }
  }

 private:
  // Takes the next record; false after a break.
  bool Accept(Item& item) {
    const bool chained = last_ ? item.seq == last_->seq + 1 && item.prev == last_->hash
                               : item.seq == 1 && item.prev == kNoPrevious;
    if (chained) {
      if (damaged_) {
        if (!item.start) {
          Break(damaged_->file, damaged_->line, BreakKind::kNotARecord,
                "a line that is no record stands before seq " + std::to_string(item.seq) +
                    ", which chains on from the record before it: inserted or edited");
          return false;
        }
        result_.notes.push_back(lines_.File(damaged_->file) + ":" + std::to_string(damaged_->line) +
                                ": a torn line (a write cut short), passed over by the start "
                                "record after it, which chains on from the last whole record");
        damaged_.reset();
      }
      before_last_ = std::move(last_);
      last_ = std::move(item);
      item = Item{};
      return true;
    }
    Classify(item);
    return false;
  }

  void Classify(const Item& at) {
    if (damaged_) {
      return Break(damaged_->file, damaged_->line, BreakKind::kNotARecord,
                   "a line that is no record, where a record with the chain's next seq was due: "
                   "edited");
    }
    if (!last_) {
      if (at.seq > 1) {
        return Break(at.file, at.line, BreakKind::kFileMissing,
                     "the first record is seq " + std::to_string(at.seq) + ": " +
                         Seqs(1, at.seq - 1) +
                         " are missing (a day's file deleted, or records removed before it)");
      }
      return Break(at.file, at.line, BreakKind::kEdited,
                   "the first record is not seq 1 with a prev of 64 zeros");
    }
    const Item& last = *last_;
    // What the rest of the server's journal says of the records here: read once, to the end.
    Item next;
    std::optional<std::size_t> unreadable;
    bool have_next = false;
    bool seq_again = false;   // a later record has the seq of `at`
    bool referenced = false;  // a later record chains on from `at`
    std::optional<Item> gap;  // the first later record of a seq missing here
    for (Item later; lines_.Next(later, unreadable);) {
      if (!later.whole) continue;
      if (!have_next) {
        next = later;
        have_next = true;
      } else {
        seq_again = seq_again || later.seq == at.seq;
        referenced = referenced || later.prev == at.hash;
      }
      if (!gap && later.seq > last.seq && later.seq < at.seq) gap = later;
    }
    if (have_next && next.seq == last.seq + 1 && next.prev == last.hash) {
      // `at` stands where nothing is missing: put in, or moved here from later on.
      if (at.seq > last.seq && !seq_again && referenced) {
        return Break(at.file, at.line, BreakKind::kMoved,
                     "seq " + std::to_string(at.seq) + " stands between seq " +
                         std::to_string(last.seq) + " and seq " + std::to_string(next.seq) +
                         ": out of order");
      }
      return Break(at.file, at.line, BreakKind::kInserted,
                   "seq " + std::to_string(at.seq) + " stands between seq " +
                       std::to_string(last.seq) + " and the record that chains on from it");
    }
    if (before_last_ && at.seq == before_last_->seq + 1 && at.prev == before_last_->hash) {
      return Break(last.file, last.line, BreakKind::kInserted,
                   "seq " + std::to_string(last.seq) +
                       " stands between the record before it and the one that chains on from "
                       "that");
    }
    if (at.seq == last.seq + 1) {
      return Break(last.file, last.line, BreakKind::kEdited,
                   "seq " + std::to_string(last.seq) +
                       " is not the record whose hash the next one holds as prev");
    }
    if (at.prev == last.hash) {
      return Break(at.file, at.line, BreakKind::kEdited,
                   "seq " + std::to_string(at.seq) + " where seq " + std::to_string(last.seq + 1) +
                       " was due, though its prev chains on");
    }
    if (at.seq <= last.seq) {
      return Break(at.file, at.line, at.seq == last.seq ? BreakKind::kInserted : BreakKind::kMoved,
                   "seq " + std::to_string(at.seq) + " after seq " + std::to_string(last.seq) +
                       (at.seq == last.seq ? ": a second record of one seq" : ": out of order"));
    }
    // Records are missing here: moved further on, or gone.
    const std::uint64_t first = last.seq + 1;
    const std::uint64_t gone = at.seq - 1;
    if (gap) {
      return Break(at.file, at.line, BreakKind::kMoved,
                   "seq " + std::to_string(at.seq) + " follows seq " + std::to_string(last.seq) +
                       ", and seq " + std::to_string(gap->seq) + " stands later, at " +
                       lines_.File(gap->file) + ":" + std::to_string(gap->line) + ": out of order");
    }
    if (at.file != last.file) {
      // Only a day between the two files can have had a file of its own.
      if (lines_.Day(at.file) - lines_.Day(last.file) > 1) {
        return Break(at.file, at.line, BreakKind::kFileMissing,
                     Seqs(first, gone) + " are missing between " + lines_.File(last.file) +
                         " and this file: the file of a day between them deleted, or records "
                         "removed at the end of one or the start of the other");
      }
      return Break(at.file, at.line, BreakKind::kRemoved,
                   Seqs(first, gone) + " are missing, at the end of " + lines_.File(last.file) +
                       " or the start of this file");
    }
    return Break(at.file, at.line, BreakKind::kRemoved,
                 Seqs(first, gone) + " are missing after line " + std::to_string(last.line));
  }

  void Break(std::size_t file, std::size_t line, BreakKind kind, std::string detail) {
    result_.breaks.push_back({journal_.name, lines_.File(file), line, kind, std::move(detail)});
  }

  const ServerJournal& journal_;
  ServerLines lines_;
  VerifyResult& result_;
  std::optional<Item> last_;
  std::optional<Item> before_last_;
  std::optional<Item> damaged_;  // the first line since the last record that is no record
};

}  // namespace

const char* BreakKindName(BreakKind kind) {
  switch (kind) {
    case BreakKind::kEdited:
      return "edited";
    case BreakKind::kRemoved:
      return "removed";
    case BreakKind::kInserted:
      return "inserted";
    case BreakKind::kMoved:
      return "moved";
    case BreakKind::kFileMissing:
      return "file missing";
    case BreakKind::kNotARecord:
      return "not a record";
    case BreakKind::kUnreadable:
      return "unreadable";
  }
  return "?";
}

VerifyResult VerifyJournals(const std::vector<ServerJournal>& journals) {
  VerifyResult result;
  result.servers = journals.size();
  for (const ServerJournal& journal : journals) ServerCheck(journal, result).Run();
  return result;
}

// Every line is escaped as the audit line is: file names and times come from anyone's files.
std::string FormatVerifyResult(const VerifyResult& result) {
  std::string text;
  for (const std::string& note : result.notes) text += EscapeForDisplay("note: " + note) + "\n";
  if (result.breaks.empty()) {
    std::string intact = "intact: " + std::to_string(result.records) + " records of " +
                         std::to_string(result.servers) + " servers";
    if (result.records > 0) intact += ", " + result.first_time + " to " + result.last_time;
    return text + EscapeForDisplay(intact) + "\n";
  }
  for (const ChainBreak& found : result.breaks) {
    std::string line = found.server + ": " + found.file;
    if (found.line > 0) {
      line += ':';  // appended apart: GCC 12 warns falsely (-Wrestrict) of ":" + a returned text
      line += std::to_string(found.line);
    }
    line += std::string(": ") + BreakKindName(found.kind) + ": " + found.detail;
    text += EscapeForDisplay(line) + "\n";
  }
  text += "broken: " + std::to_string(result.breaks.size()) + " of " +
          std::to_string(result.servers) + " servers\n";
  return text;
}

}  // namespace quillmark::tools
