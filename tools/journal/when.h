// The times an operator gives the journal's tools: a date (2026-12-09), a UTC date and time
// (2026-12-09T13:45, seconds optional, a "Z" allowed), or an age before now (90m, 12h, 7d).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quillmark::tools {

// What a WHEN names, as texts in the records' own form ("2026-12-09T13:45:00.000Z"), which
// compare as the times do: the span from `begin` up to (not including) `end`. A date is its
// whole day, a time its minute (or second), an age the instant that long before now.
struct WhenSpan {
  std::string begin;
  std::string end;
};

// Reads `text`; nothing when it is none of the forms above or names no real day or time.
std::optional<WhenSpan> ParseWhen(std::string_view text, std::chrono::system_clock::time_point now);

// `time` in the records' form, to the millisecond.
std::string FormatRecordTime(std::chrono::system_clock::time_point time);

}  // namespace quillmark::tools
