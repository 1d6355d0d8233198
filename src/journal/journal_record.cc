// Formatting the journal's records.
#include "journal/journal_record.h"

#include <array>
#include <chrono>
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
  if (account.source != CommandSource::kRcon) {
    record["source"] = account.source == CommandSource::kPlugin ? "plugin" : "console";
    record["player"] = account.player;
    record["eosid"] = account.eos_id;
    record["admin"] = account.admin;
    record["position"] = {account.x, account.y, account.z};
    record["command"] = account.command;
    record["decision"] = account.allowed ? "allowed" : "blocked";
    record["rule"] = account.rule.empty() ? Record() : Record(account.rule);
    if (!account.group.empty()) record["group"] = account.group;
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
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{days}}};
  // YYYY-MM-DDTHH:MM:SS.mmmZ
  Digits(out, static_cast<int>(date.year()), 4);
  out[4] = '-';
  Digits(out + 5, static_cast<unsigned>(date.month()), 2);
  out[7] = '-';
  Digits(out + 8, static_cast<unsigned>(date.day()), 2);
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
  // A day past the month's last counts on into the next month, as the calendar's arithmetic does.
  const std::chrono::year_month_day date{std::chrono::year{value[0]},
                                         std::chrono::month{static_cast<unsigned>(value[1])},
                                         std::chrono::day{static_cast<unsigned>(value[2])}};
  day = std::chrono::sys_days{date}.time_since_epoch().count();
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
