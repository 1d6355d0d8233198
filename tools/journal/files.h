// Where the journal's records are, and reading them line by line: a server's folder holds one
// file per UTC day, <YYYY-MM-DD>.jsonl; a folder of several servers' folders (a cluster's shared
// folder) is read whole. Files may have been edited by anyone, so a line of any length or content
// is read in bounded memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::tools {

// The journal of one server: its folder's name and its day files, oldest first.
struct ServerJournal {
  std::string name;  // the folder's name (UTF-8)
  std::filesystem::path folder;
  std::vector<std::filesystem::path> files;
};

// The servers' journals under `folders`: a folder holding day files is one server's; otherwise
// each of its sub-folders holding day files is. Other files are passed over. False with `error`
// (naming the folder) when a folder cannot be read; an empty result is no error.
bool FindJournals(const std::vector<std::filesystem::path>& folders,
                  std::vector<ServerJournal>& journals, std::string& error);

// True when `name` is a day file's name, <YYYY-MM-DD>.jsonl.
bool IsDayFileName(std::string_view name);

// The day of a day file (its name without ".jsonl"), counted in days since 1970-01-01; for
// telling whether days lie between two files.
long DayNumber(std::string_view file_name);

// A path as UTF-8, and UTF-8 as a path, on every platform.
std::string Utf8Path(const std::filesystem::path& path);
std::filesystem::path PathFromUtf8(std::string_view text);

// One line of a file, without its "\n".
struct Line {
  std::string_view text;   // valid until the next call of Next
  std::size_t number = 0;  // from 1
  bool ended = false;      // the line ended with "\n" (the last line of a file may not)
  bool too_long = false;   // longer than kMaxLineBytes: `text` is then empty
};

// The lines of one file, read in blocks. A line longer than kMaxLineBytes (no record the plugin
// writes is) is given with too_long and no text, and passed over, so that memory stays bounded.
class LineReader {
 public:
  static constexpr std::size_t kMaxLineBytes = std::size_t{16} << 20;

  explicit LineReader(const std::filesystem::path& file);
  // False when the file could not be opened.
  [[nodiscard]] bool IsOpen() const { return open_; }
  // The next line; false at the end of the file (or when a read fails: Failed() says so).
  bool Next(Line& line);
  [[nodiscard]] bool Failed() const { return failed_; }

 private:
  // Reads more of the file after what is kept; false at the end.
  bool Fill();

  std::ifstream in_;
  bool open_ = false;
  bool failed_ = false;
  bool eof_ = false;
  std::string buffer_;
  std::size_t begin_ = 0;  // the unread part is [begin_, end_)
  std::size_t end_ = 0;
  std::size_t number_ = 0;
};

}  // namespace quillmark::tools
