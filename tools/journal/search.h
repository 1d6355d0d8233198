// journal search: the records that match a query, in one of three forms — text (one line per
// record that a person reads, escaped as the audit line is), jsonl (the records exactly as
// stored) or csv (a header line, then one row per record, quoted as RFC 4180 says).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/journal/files.h"
#include "tools/journal/reading.h"

namespace quillmark::tools {

enum class SearchFormat { kText, kJsonl, kCsv };

// Writes what matches to `out` (in pieces, each ending with a whole line) and lines that are no
// record to `warn`, one message each; returns how many records matched.
std::size_t SearchJournals(const std::vector<ServerJournal>& journals, const RecordQuery& query,
                           SearchFormat format, const std::function<void(std::string_view)>& out,
                           const std::function<void(const std::string&)>& warn);

// One record as the text form shows it.
std::string RecordText(const JournalRecord& record);

// `field` as a CSV field: in double quotes, its quotes doubled, when it holds a comma, a quote, a
// CR or a LF; as it is otherwise.
std::string CsvField(std::string_view field);

}  // namespace quillmark::tools
