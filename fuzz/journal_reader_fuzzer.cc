// What reads a journal, on any bytes: day files anyone could have edited — torn, huge, not JSON,
// not UTF-8 — go through search in every form, verify and report. None may crash or hold more
// than a bounded amount of memory; every line is read or passed over, and what verify and search
// print stays one line per record or finding.
//
// The input is split at its first 0x00 byte into two consecutive days' files of one server, so
// that the chain is also followed from one file into the next.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "tools/journal/record.h"
#include "tools/journal/report.h"
#include "tools/journal/search.h"
#include "tools/journal/verify.h"

namespace {

namespace tools = quillmark::tools;

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    std::random_device random;
    const auto root = std::filesystem::temp_directory_path() /
                      ("quillmark-journal-fuzz-" + std::to_string(random()));
    std::filesystem::create_directories(root / "Demo");
    return root;
  }();
  return folder;
}

void Write(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t Lines(std::string_view text) {
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view first = input.substr(0, split);
  const std::string_view second =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  Write(Folder() / "Demo" / "2026-12-08.jsonl", first);
  Write(Folder() / "Demo" / "2026-12-09.jsonl", second);

  // The record reader on each line by itself.
  tools::JournalRecord record;
  for (std::size_t at = 0; at <= first.size();) {
    const std::size_t end = std::min(first.find('\n', at), first.size());
    (void)tools::ParseRecord(first.substr(at, end - at), record);
    at = end + 1;
  }

  std::vector<tools::ServerJournal> journals;
  std::string error;
  FUZZ_CHECK(tools::FindJournals({Folder()}, journals, error), error);
  FUZZ_CHECK(journals.size() == 1 && journals[0].files.size() == 2, "two day files");
  const std::size_t lines = Lines(input) + 2;

  tools::RecordQuery query;
  if (size > 0 && data[0] % 2 == 1) query.decision = "blocked";
  if (size > 0 && data[0] % 3 == 1) query.command = "give";
  if (size > 0 && data[0] % 5 == 1) query.player = "a";
  for (const auto format :
       {tools::SearchFormat::kText, tools::SearchFormat::kJsonl, tools::SearchFormat::kCsv}) {
    std::string out;
    const std::size_t matched = tools::SearchJournals(
        journals, query, format, [&](std::string_view text) { out.append(text); },
        [](const std::string&) {});
    FUZZ_CHECK(matched <= lines, "more records than lines");
    if (format == tools::SearchFormat::kText) {
      FUZZ_CHECK(Lines(out) == matched, "one text line per record");
    }
    if (format == tools::SearchFormat::kJsonl) {
      FUZZ_CHECK(out.size() <= size + matched, "jsonl holds the lines as stored");
    }
  }

  const tools::VerifyResult verified = tools::VerifyJournals(journals);
  FUZZ_CHECK(verified.records <= lines && verified.breaks.size() <= 1, "one break a server");
  const std::string said = tools::FormatVerifyResult(verified);
  FUZZ_CHECK(Lines(said) == verified.notes.size() + (verified.breaks.empty() ? 1 : 2), said);

  const tools::JournalReport report = tools::BuildReport(journals, {}, [](const std::string&) {});
  FUZZ_CHECK(report.total.Total() <= lines, "counted more than the lines");
  (void)tools::FormatReportText(report);
  (void)tools::FormatReportHtml(report);
  return 0;
}
