// The forms of journal search's answer.
#include "tools/journal/search.h"

#include "audit/audit_text.h"

namespace quillmark::tools {
namespace {

constexpr std::size_t kFlushBytes = std::size_t{1} << 16;
constexpr std::size_t kNamedPassedOver = 20;  // lines that are no record, named one by one

constexpr char kCsvHeader[] =
    "seq,time,server,source,event,player,eosid,admin,client,command,decision,rule,refused_part,"
    "refused_of,refused_command,count,from,to,note\r\n";

template <typename T>
std::string Number(const std::optional<T>& value) {
  return value ? std::to_string(*value) : std::string();
}

void AppendCsv(std::string& out, const JournalRecord& record) {
  const std::string admin = record.admin ? (*record.admin ? "true" : "false") : "";
  const std::string fields[] = {Number(record.seq),
                                record.time,
                                record.server,
                                record.source,
                                record.event,
                                record.player,
                                record.eosid,
                                admin,
                                record.client,
                                record.command,
                                record.decision,
                                record.rule,
                                Number(record.refused_part),
                                Number(record.refused_of),
                                record.refused_command,
                                Number(record.count),
                                record.from,
                                record.to,
                                record.note};
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) out += ',';
    first = false;
    out += CsvField(field);
  }
  out += "\r\n";
}

}  // namespace

std::string CsvField(std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(field);
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// Built by appending piece after piece: GCC 12 warns falsely (-Wrestrict) about a literal added
// to a string that a function returned.
std::string RecordText(const JournalRecord& record) {
  std::string text;
  const auto add = [&text](std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) text.append(piece);
  };
  add({EscapeForDisplay(record.time), " ", EscapeForDisplay(record.server)});
  if (record.seq) add({" #", std::to_string(*record.seq)});
  if (!record.source.empty()) {
    add({" ", EscapeForDisplay(record.source), " ", EscapeForDisplay(record.decision), " "});
    if (record.source == "rcon") {
      add({"client ", EscapeForDisplay(record.client)});
    } else {
      add({EscapeForDisplay(record.player), " (", EscapeForDisplay(record.eosid), ")"});
      if (record.admin) add({", admin: ", *record.admin ? "true" : "false"});
    }
    add({": ", EscapeForDisplay(record.command)});
    if (record.refused_part && record.refused_of) {
      add({", refused part ", std::to_string(*record.refused_part), " of ",
           std::to_string(*record.refused_of), ": ", EscapeForDisplay(record.refused_command)});
    }
  } else {
    add({" ", EscapeForDisplay(record.event)});
    if (record.count) {
      add({" ", std::to_string(*record.count), " commands from ", EscapeForDisplay(record.from),
           " to ", EscapeForDisplay(record.to)});
    }
    if (!record.note.empty()) add({": ", EscapeForDisplay(record.note)});
  }
  return text;
}

std::size_t SearchJournals(const std::vector<ServerJournal>& journals, const RecordQuery& query,
                           SearchFormat format, const std::function<void(std::string_view)>& out,
                           const std::function<void(const std::string&)>& warn) {
  std::string buffer;
  if (format == SearchFormat::kCsv) buffer = kCsvHeader;
  std::size_t passed_over = 0;
  const std::size_t matched = ReadMerged(
      journals, RecordFilter(query),
      [&](std::string_view line, const JournalRecord& record, const ServerJournal&) {
        switch (format) {
          case SearchFormat::kJsonl:
            buffer.append(line);
            buffer += '\n';
            break;
          case SearchFormat::kCsv:
            AppendCsv(buffer, record);
            break;
          case SearchFormat::kText:
            buffer += RecordText(record);
            buffer += '\n';
            break;
        }
        if (buffer.size() >= kFlushBytes) {
          out(buffer);
          buffer.clear();
        }
      },
      [&](const PassedOver& where) {
        if (++passed_over <= kNamedPassedOver) {
          warn(where.file + ":" + std::to_string(where.line) + ": " +
               (where.torn ? "a torn last line" : "not a record") + ", passed over");
        }
      },
      [&](const std::string& file) { warn(file + ": cannot be read"); });
  if (!buffer.empty()) out(buffer);
  if (passed_over > kNamedPassedOver) {
    warn(std::to_string(passed_over) + " lines in all were no record and were passed over");
  }
  return matched;
}

}  // namespace quillmark::tools
