// Reading the WHEN of --since and --until.
#include "tools/journal/when.h"

#include <cstdio>

namespace quillmark::tools {
namespace {

using std::chrono::system_clock;

// The number of `length` digits at `at`; nothing when they are not all digits.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t length) {
  if (at + length > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + length; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string FormatRecordTime(system_clock::time_point time) {
  const auto ms = std::chrono::floor<std::chrono::milliseconds>(time);
  const auto day = std::chrono::floor<std::chrono::days>(ms);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{ms - day};
  char text[32];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::optional<WhenSpan> ParseWhen(std::string_view text, system_clock::time_point now) {
  if (text.size() >= 2 && text.size() <= 8) {
    const char unit = text.back();
    const std::optional<int> count = Digits(text, 0, text.size() - 1);
    std::chrono::minutes step{0};
    if (unit == 'm') step = std::chrono::minutes(1);
    if (unit == 'h') step = std::chrono::hours(1);
    if (unit == 'd') step = std::chrono::days(1);
    // At most a hundred years back, so that the clock's arithmetic cannot overflow.
    if (count && step.count() != 0 && *count * step <= std::chrono::days(36525)) {
      const std::string at = FormatRecordTime(now - *count * step);
      return WhenSpan{at, at};
    }
  }
  if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 5, 2);
  const auto day = Digits(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(*year),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return std::nullopt;
  system_clock::time_point begin = std::chrono::sys_days(date);
  system_clock::duration length = std::chrono::days(1);
  if (text.size() > 10) {
    const auto hours = Digits(text, 11, 2);
    const auto minutes = Digits(text, 14, 2);
    if ((text[10] != 'T' && text[10] != ' ') || !hours || !minutes || text[13] != ':' ||
        *hours > 23 || *minutes > 59) {
      return std::nullopt;
    }
    begin += std::chrono::hours(*hours) + std::chrono::minutes(*minutes);
    length = std::chrono::minutes(1);
    if (text.size() != 16) {
      const auto seconds = Digits(text, 17, 2);
      if (text.size() != 19 || text[16] != ':' || !seconds || *seconds > 59) return std::nullopt;
      begin += std::chrono::seconds(*seconds);
      length = std::chrono::seconds(1);
    }
  }
  return WhenSpan{FormatRecordTime(begin), FormatRecordTime(begin + length)};
}

}  // namespace quillmark::tools
