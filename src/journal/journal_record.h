// The journal's lines: one JSON object per record, compact, keys in a fixed order with "prev"
// last (docs/journal.md), and the names of its folders and files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "audit/command_account.h"

namespace quillmark {

inline constexpr std::string_view kFirstPrev =
    "0000000000000000000000000000000000000000000000000000000000000000";

// What every record has: its number, its time and the server's label.
struct RecordHead {
  std::uint64_t seq = 0;
  std::int64_t time_ms = 0;  // UTC, milliseconds since 1970
  std::string_view server;
};

// A plugin event: "start", "reload", "stop", "omitted", "unwritten". `count`, `from_ms` and
// `to_ms` are written when `count` is not 0; `note` when it is not empty.
struct RecordEvent {
  std::string_view event;
  std::uint64_t count = 0;
  std::int64_t from_ms = 0;
  std::int64_t to_ms = 0;
  std::string_view note;
};

// A command's line, without the line break; `prev` is the hash of the line before.
std::string CommandRecord(const RecordHead& head, const CommandAccount& account,
                          std::string_view prev);
std::string EventRecord(const RecordHead& head, const RecordEvent& event, std::string_view prev);

// "2026-12-09T13:45:12.345Z" into `out`, which holds at least 25 bytes (with the zero).
// Allocates nothing.
void FormatUtcTime(std::int64_t time_ms, char* out);
std::string UtcTime(std::int64_t time_ms);
// "2026-12-09": the UTC day, which names the day's file "2026-12-09.jsonl".
std::string UtcDay(std::int64_t time_ms);
// The days since 1970-01-01 of a file name "YYYY-MM-DD.jsonl"; false when it is not one.
bool DayOfFileName(std::string_view name, std::int64_t& day);

// The label as a folder name on every system: ASCII letters, digits and "-", "_", "." and
// every character beyond ASCII kept; every other byte as "%XX" (upper-case hex); a leading or
// trailing "." or a Windows device name (CON, NUL, COM1 …) with its first byte as "%XX"; the
// empty label as "%". Distinct labels give distinct names, and none holds "~", which marks a
// second server's folder ("<name>~2").
std::string LabelFolderName(std::string_view label);

// The label as a JSON text (quoted), for the one record made without allocating (at exit).
std::string JsonText(std::string_view text);

}  // namespace quillmark
