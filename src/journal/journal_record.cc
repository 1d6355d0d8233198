// Formatting the journal's records.
#include "journal/journal_record.h"

#include <array>
#include <cstdio>

#include "host/libraries.h"

namespace quillmark {
namespace {

using Record = nlohmann::ordered_json;

// Compact, UTF-8 as it is (the handler's texts are valid UTF-8; anything else is replaced).
std::string Dump(const Record& record) {
  return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Record Head(const RecordHead& head) {
  Record record;
  record["seq"] = head.seq;
  record["time"] = UtcTime(head.time_ms);
  record["server"] = head.server;
  return record;
}

// Days since 1970-01-01 to a civil date and back (proleptic Gregorian).
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void Digits(char* out, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

bool IsDeviceName(std::string_view name) {
  std::string upper(name.substr(0, name.find('.')));
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  static constexpr std::array<std::string_view, 6> kNames = {"CON", "PRN",    "AUX",
                                                             "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kNames) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '0' && upper[3] <= '9';
}

}  // namespace

std::string CommandRecord(const RecordHead& head, const CommandAccount& account,
                          std::string_view prev) {
  Record record = Head(head);
  if (account.source == CommandSource::kConsole) {
    record["source"] = "console";
    record["player"] = account.player;
    record["eosid"] = account.eos_id;
    record["admin"] = account.admin;
    record["position"] = {account.x, account.y, account.z};
    record["command"] = account.command;
    record["decision"] = account.allowed ? "allowed" : "blocked";
    record["rule"] = account.rule.empty() ? Record() : Record(account.rule);
    if (account.refused_part != 0 && account.parts > 1) {
      record["refused"] = {
          {"part", account.refused_part}, {"of", account.parts}, {"command", account.refused}};
    }
  } else {
    record["source"] = "rcon";
    record["client"] = account.client;
    record["command"] = account.command;
    if (account.packet_type >= 0) record["packet-type"] = account.packet_type;
    record["decision"] = "audited";
  }
  record["prev"] = prev;
  return Dump(record);
}

std::string EventRecord(const RecordHead& head, const RecordEvent& event, std::string_view prev) {
  Record record = Head(head);
  record["event"] = event.event;
  if (event.count != 0) {
    record["count"] = event.count;
    record["from"] = UtcTime(event.from_ms);
    record["to"] = UtcTime(event.to_ms);
  }
  if (!event.note.empty()) record["note"] = event.note;
  record["prev"] = prev;
  return Dump(record);
}

void FormatUtcTime(std::int64_t time_ms, char* out) {
  const std::int64_t days = (time_ms >= 0 ? time_ms : time_ms - 86399999) / 86400000;
  const std::int64_t in_day = time_ms - days * 86400000;
  std::int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  // YYYY-MM-DDTHH:MM:SS.mmmZ
  Digits(out, year, 4);
  out[4] = '-';
  Digits(out + 5, month, 2);
  out[7] = '-';
  Digits(out + 8, day, 2);
  out[10] = 'T';
  Digits(out + 11, in_day / 3600000, 2);
  out[13] = ':';
  Digits(out + 14, in_day / 60000 % 60, 2);
  out[16] = ':';
  Digits(out + 17, in_day / 1000 % 60, 2);
  out[19] = '.';
  Digits(out + 20, in_day % 1000, 3);
  out[23] = 'Z';
  out[24] = '\0';
}

std::string UtcTime(std::int64_t time_ms) {
  char text[25];
  FormatUtcTime(time_ms, text);
  return std::string(text, 24);
}

std::string UtcDay(std::int64_t time_ms) { return UtcTime(time_ms).substr(0, 10); }

bool DayOfFileName(std::string_view name, std::int64_t& day) {
  if (name.size() != 16 || name.substr(10) != ".jsonl" || name[4] != '-' || name[7] != '-') {
    return false;
  }
  int value[3] = {0, 0, 0};
  const std::size_t starts[3] = {0, 5, 8};
  const std::size_t lengths[3] = {4, 2, 2};
  for (int part = 0; part < 3; ++part) {
    for (std::size_t i = 0; i < lengths[part]; ++i) {
      const char c = name[starts[part] + i];
      if (c < '0' || c > '9') return false;
      value[part] = value[part] * 10 + (c - '0');
    }
  }
  if (value[1] < 1 || value[1] > 12 || value[2] < 1 || value[2] > 31) return false;
  day = DaysFromCivil(value[0], static_cast<unsigned>(value[1]), static_cast<unsigned>(value[2]));
  return true;
}

std::string LabelFolderName(std::string_view label) {
  if (label.empty()) return "%";
  const auto escaped = [](unsigned char c) { return fmt::format("%{:02X}", c); };
  std::string name;
  for (std::size_t i = 0; i < label.size(); ++i) {
    const auto c = static_cast<unsigned char>(label[i]);
    const bool kept = c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                      (c == '.' && i != 0 && i + 1 != label.size());
    if (kept) {
      name += static_cast<char>(c);
    } else {
      name += escaped(c);
    }
  }
  if (IsDeviceName(name)) name = escaped(static_cast<unsigned char>(name[0])) + name.substr(1);
  return name;
}

std::string JsonText(std::string_view text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace quillmark
