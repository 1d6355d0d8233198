// Finding the servers' folders and reading day files.
#include "tools/journal/files.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace quillmark::tools {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

bool IsDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The day files directly in `folder`, oldest first.
std::vector<std::filesystem::path> DayFiles(const std::filesystem::path& folder,
                                            std::error_code& error) {
  std::vector<std::filesystem::path> files;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignored;
    if (it->is_regular_file(ignored) && IsDayFileName(Utf8Path(it->path().filename()))) {
      files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::string Utf8Path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool IsDayFileName(std::string_view name) {
  return name.size() == 16 && name.substr(10) == ".jsonl" && name[4] == '-' && name[7] == '-' &&
         IsDigits(name.substr(0, 4)) && IsDigits(name.substr(5, 2)) && IsDigits(name.substr(8, 2));
}

long DayNumber(std::string_view file_name) {
  // Days from civil (H. Hinnant's algorithm), on the proleptic Gregorian calendar.
  const auto number = [&](std::size_t at, std::size_t length) {
    long value = 0;
    for (std::size_t i = at; i < at + length && i < file_name.size(); ++i) {
      value = value * 10 + (file_name[i] - '0');
    }
    return value;
  };
  long year = number(0, 4);
  const long month = number(5, 2);
  const long day = number(8, 2);
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long year_of_era = year - era * 400;
  const long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool FindJournals(const std::vector<std::filesystem::path>& folders,
                  std::vector<ServerJournal>& journals, std::string& error) {
  for (const std::filesystem::path& folder : folders) {
    std::error_code failed;
    std::vector<std::filesystem::path> files = DayFiles(folder, failed);
    if (failed) {
      error = Utf8Path(folder) + ": " + failed.message();
      return false;
    }
    if (!files.empty()) {
      journals.push_back({Utf8Path(folder.filename().empty() ? folder.parent_path().filename()
                                                             : folder.filename()),
                          folder, std::move(files)});
      continue;
    }
    std::vector<std::filesystem::path> servers;
    for (std::filesystem::directory_iterator it(folder, failed), end; !failed && it != end;
         it.increment(failed)) {
      std::error_code ignored;
      if (it->is_directory(ignored)) servers.push_back(it->path());
    }
    std::sort(servers.begin(), servers.end());
    for (const std::filesystem::path& server : servers) {
      std::error_code ignored;
      files = DayFiles(server, ignored);
      if (!files.empty()) journals.push_back({Utf8Path(server.filename()), server, files});
    }
  }
  return true;
}

LineReader::LineReader(const std::filesystem::path& file)
    : in_(file, std::ios::binary), open_(in_.is_open()) {}

bool LineReader::Fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() < end_ + kBlockBytes) buffer_.resize(end_ + kBlockBytes);
  in_.read(buffer_.data() + end_, static_cast<std::streamsize>(kBlockBytes));
  const auto got = static_cast<std::size_t>(in_.gcount());
  end_ += got;
  if (!in_) {
    eof_ = true;
    failed_ = !in_.eof();
  }
  return got > 0;
}

bool LineReader::Next(Line& line) {
  if (!open_) return false;
  std::size_t searched = begin_;
  for (;;) {
    const void* found =
        searched < end_ ? std::memchr(buffer_.data() + searched, '\n', end_ - searched) : nullptr;
    if (found != nullptr) {
      const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
      line = {std::string_view(buffer_.data() + begin_, at - begin_), ++number_, true, false};
      begin_ = at + 1;
      return true;
    }
    searched = end_;
    if (end_ - begin_ >= kMaxLineBytes) {
      // Passed over up to the next line break.
      line = {std::string_view(), ++number_, false, true};
      begin_ = end_ = 0;
      for (;;) {
        if (!Fill()) return true;
        const void* end = std::memchr(buffer_.data(), '\n', end_);
        if (end != nullptr) {
          begin_ = static_cast<std::size_t>(static_cast<const char*>(end) - buffer_.data()) + 1;
          line.ended = true;
          return true;
        }
        begin_ = end_ = 0;
      }
    }
    searched -= begin_;
    if (!Fill()) break;
    searched += begin_;
  }
  if (begin_ == end_) return false;
  line = {std::string_view(buffer_.data() + begin_, end_ - begin_), ++number_, false, false};
  begin_ = end_;
  return true;
}

}  // namespace quillmark::tools
