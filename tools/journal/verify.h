// journal verify: every server's chain and sequence across its files. Each record's prev must be
// the SHA-256 of the line before it and its seq one more than that record's, from seq 1 with 64
// zeros; the first place where that fails is named for each server, with what it shows — a
// record edited, removed, inserted or moved, or a day's file missing. A line that is no record
// is never passed over silently: a torn line that the plugin's next start passed over (its start
// record chains on from the last whole record) is noted, any other is a break.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/journal/files.h"

namespace quillmark::tools {

enum class BreakKind {
  kEdited,
  kRemoved,
  kInserted,
  kMoved,
  kFileMissing,
  kNotARecord,
  kUnreadable
};

// The words verify uses for a kind: "edited", "removed", "inserted", "moved", "file missing",
// "not a record", "unreadable".
const char* BreakKindName(BreakKind kind);

struct ChainBreak {
  std::string server;  // the server's folder name
  std::string file;    // UTF-8 path of the file where it shows
  std::size_t line = 0;
  BreakKind kind = BreakKind::kEdited;
  std::string detail;  // one sentence
};

struct VerifyResult {
  std::size_t records = 0;  // whole records read
  std::size_t servers = 0;
  std::string first_time;  // the earliest and latest record's time
  std::string last_time;
  std::vector<std::string> notes;  // torn lines passed over, a torn last line
  std::vector<ChainBreak> breaks;  // the first break of each server that has one
};

VerifyResult VerifyJournals(const std::vector<ServerJournal>& journals);

// What the command prints: the notes, then "intact: N records of S servers, <first> to <last>"
// or one line per break.
std::string FormatVerifyResult(const VerifyResult& result);

}  // namespace quillmark::tools
