// One record of the journal as the operator's tools read it: the fields they search, count and
// show, taken from one line of a day's file. A line comes from a file anyone could have edited,
// so reading it never throws and keeps nothing of fields it does not know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmark::tools {

struct JournalRecord {
  std::optional<std::uint64_t> seq;
  std::string time;
  std::string server;
  std::string source;  // "console", "rcon", …; empty for a plugin event
  std::string event;   // "start", "reload", "stop", "omitted", "unwritten"; empty for a command
  std::string player;
  std::string eosid;
  std::optional<bool> admin;
  std::string client;
  std::string command;
  std::string decision;
  std::string rule;  // empty when null or absent
  std::optional<std::uint64_t> refused_part;
  std::optional<std::uint64_t> refused_of;
  std::string refused_command;
  std::optional<std::uint64_t> count;
  std::string from;
  std::string to;
  std::string note;
  std::string prev;

  void Clear();
};

// Reads `line` (one line, without its "\n") into `record`, cleared first. True when the line is
// one JSON object; its members are taken when they have the type the journal gives them and
// passed over otherwise. False for anything else (torn, not JSON, not UTF-8, not an object), the
// record then holding whatever was read before the fault.
bool ParseRecord(std::string_view line, JournalRecord& record);

}  // namespace quillmark::tools
