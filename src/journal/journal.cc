// The journal's writer: one process-wide state, used on the game thread only.
#include "journal/journal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "audit/server_label.h"
#include "base/config.h"
#include "base/logger.h"
#include "host/host_text.h"
#include "host/journal_file.h"
#include "host/libraries.h"
#include "host/sha256.h"
#include "journal/journal_record.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kDayMs = 86400000;
constexpr std::int64_t kErrorEveryMs = 60000;
// Second servers on one label tried at most; past it the journal is not kept.
constexpr int kMaxSameLabel = 64;
// The most of a day file's end read to find its last whole record; a record is far shorter.
constexpr std::uintmax_t kMaxTail = std::uintmax_t{64} << 20;
constexpr char kLockName[] = ".lock";

fs::path Path(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// Records not written, and between which times.
struct Missed {
  std::uint64_t count = 0;
  std::int64_t from_ms = 0;
  std::int64_t to_ms = 0;
  void Add(std::int64_t now) {
    if (count++ == 0) from_ms = now;
    to_ms = now;
  }
};

struct Tail {
  std::uint64_t seq = 0;  // of the last whole record; 0 when there is none
  std::string prev = std::string(kFirstPrev);
  std::string note;
};

struct State {
  bool open = false;
  // Started, and waiting for the server's label, which the game has once its world exists.
  bool pending = false;
  std::int64_t started_ms = 0;
  JournalSettings settings;
  std::string label;
  std::string label_json;  // the label as JSON text, for the record made at exit
  fs::path folder;         // the label's folder
  host::FileHandle lock = host::kNoFile;
  host::FileHandle file = host::kNoFile;
  std::int64_t day = 0;           // of the open day file
  std::uint64_t day_bytes = 0;    // its size
  bool needs_line_break = false;  // its last line is torn: the next write ends it first
  std::uint64_t next_seq = 1;
  char prev[65] = {};
  Missed omitted;    // past the day's limit
  Missed unwritten;  // failed writes
  std::int64_t last_error_ms = 0;
  bool error_said = false;
  std::int64_t retention_day = 0;
};

State& TheState() {
  static State state;
  return state;
}

std::int64_t DayOf(std::int64_t ms) { return (ms >= 0 ? ms : ms - kDayMs + 1) / kDayMs; }

fs::path DayFile(const State& state, std::int64_t day) {
  return state.folder / Path(UtcDay(day * kDayMs) + ".jsonl");
}

// The day files of `folder`, newest first.
std::vector<std::pair<std::int64_t, fs::path>> DayFiles(const fs::path& folder) {
  std::vector<std::pair<std::int64_t, fs::path>> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::int64_t day = 0;
    if (DayOfFileName(Utf8(it->path().filename()), day)) files.emplace_back(day, it->path());
  }
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  return files;
}

// The last whole record of `path`: its seq and the hash of its line. Lines after it (torn, or
// not a record) are passed over and said in `note`.
bool LastRecord(const fs::path& path, Tail& tail) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error || size == 0) return false;
  std::ifstream in(path, std::ios::binary);
  std::uintmax_t window = std::min<std::uintmax_t>(size, 1 << 16);
  std::string bytes;
  for (;;) {
    bytes.resize(static_cast<std::size_t>(window));
    in.clear();
    in.seekg(static_cast<std::streamoff>(size - window));
    in.read(bytes.data(), static_cast<std::streamsize>(window));
    if (!in) return false;
    std::size_t passed = 0;
    std::size_t end = bytes.size();
    if (bytes.back() != '\n') {
      const std::size_t last_break = bytes.rfind('\n');
      passed = end - (last_break == std::string::npos ? 0 : last_break + 1);
      end = last_break == std::string::npos ? 0 : last_break + 1;
    }
    while (end > 0) {
      const std::size_t line_end = end - 1;  // at its '\n'
      const std::size_t before =
          line_end == 0 ? std::string::npos : bytes.rfind('\n', line_end - 1);
      if (before == std::string::npos && window < size) break;  // the line starts further back
      const std::size_t start = before == std::string::npos ? 0 : before + 1;
      const std::string_view line(bytes.data() + start, line_end - start);
      const auto record = nlohmann::json::parse(line, nullptr, false);
      if (record.is_object() && record.contains("seq") && record["seq"].is_number_unsigned()) {
        tail.seq = record["seq"].get<std::uint64_t>();
        tail.prev = host::Sha256Hex(line);
        if (passed > 0) {
          tail.note = fmt::format(
              "the end of {} was torn or not a record ({} bytes after the last whole record) "
              "and is passed over",
              Utf8(path.filename()), passed);
        }
        return true;
      }
      passed += line.size() + 1;
      end = start;
    }
    if (window >= size || window >= kMaxTail) {
      tail.note = fmt::format("{} holds no whole record ({} bytes passed over)",
                              Utf8(path.filename()), passed);
      return false;
    }
    window = std::min<std::uintmax_t>({size, window * 4, kMaxTail});
  }
}

// The chain's end: the last whole record of the newest day file that has one. What was passed
// over on the way is said once, from the newest file.
Tail ReadTail(const fs::path& folder) {
  std::string note;
  for (const auto& [day, path] : DayFiles(folder)) {
    Tail tail;
    const bool found = LastRecord(path, tail);
    if (note.empty()) note = tail.note;
    if (found) {
      tail.note = note;
      return tail;
    }
  }
  Tail none;
  none.note = note;
  return none;
}

void SayError(State& state, std::int64_t now, const std::string& line) {
  if (state.error_said && now - state.last_error_ms < kErrorEveryMs) return;
  state.error_said = true;
  state.last_error_ms = now;
  LogError(line);
}

void RemoveOldDays(State& state, std::int64_t today) {
  state.retention_day = today;
  if (state.settings.keep_days == 0) return;
  for (const auto& [day, path] : DayFiles(state.folder)) {
    if (day >= today - state.settings.keep_days) continue;
    std::error_code error;
    fs::remove(path, error);
    if (error) {
      LogError(fmt::format("Journal: could not remove {}, older than {} days: {}", Utf8(path),
                           state.settings.keep_days, error.message()));
    }
  }
}

// The day file of `day` open for appending, or kNoFile with the reason in `error`.
void OpenDay(State& state, std::int64_t day, std::string& error) {
  host::CloseFile(state.file);
  state.file = host::kNoFile;
  state.day = day;
  const fs::path path = DayFile(state, day);
  std::error_code size_error;
  const std::uintmax_t size = fs::file_size(path, size_error);
  state.day_bytes = size_error ? 0 : size;
  state.needs_line_break = false;
  if (!size_error && size > 0) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(size - 1));
    char last = '\n';
    in.get(last);
    state.needs_line_break = last != '\n';
  }
  std::error_code made;
  fs::create_directories(state.folder, made);
  state.file = host::OpenForAppend(Utf8(path), error);
}

// Appends one line, the line break added; false, with the reason, when it was not all taken.
bool Append(State& state, std::string line, std::string& error) {
  if (state.file == host::kNoFile) {
    OpenDay(state, state.day, error);
    if (state.file == host::kNoFile) return false;
  }
  if (state.needs_line_break) line.insert(line.begin(), '\n');
  line += '\n';
  if (!host::AppendBytes(state.file, line, error)) {
    host::CloseFile(state.file);  // opened again for the next record: a share may come back
    state.file = host::kNoFile;
    return false;
  }
  state.needs_line_break = false;
  state.day_bytes += line.size();
  return true;
}

enum class WhenFailing { kCount, kPassOver };

// Writes the record `make` makes of its head and `prev`, numbered and chained; counts it as
// unwritten when it fails, unless told otherwise.
template <typename Make>
bool Write(State& state, std::int64_t now, const Make& make,
           WhenFailing when_failing = WhenFailing::kCount) {
  const RecordHead head{state.next_seq, now, state.label};
  std::string line = make(head, std::string_view(state.prev, 64));
  const std::string hash = host::Sha256Hex(line);
  std::string error;
  if (!Append(state, std::move(line), error)) {
    if (when_failing == WhenFailing::kPassOver) return false;
    state.unwritten.Add(now);
    SayError(state, now,
             fmt::format("Journal: could not write to {}: {}; {} records not written since {}",
                         Utf8(DayFile(state, state.day)), error, state.unwritten.count,
                         UtcTime(state.unwritten.from_ms)));
    return false;
  }
  std::memcpy(state.prev, hash.data(), 64);
  ++state.next_seq;
  return true;
}

bool WriteEvent(State& state, std::int64_t now, const RecordEvent& event,
                WhenFailing when_failing = WhenFailing::kCount) {
  return Write(
      state, now,
      [&event](const RecordHead& head, std::string_view prev) {
        return EventRecord(head, event, prev);
      },
      when_failing);
}

// What waits to be said before the next record: the records not written, once writing works.
void SayUnwritten(State& state, std::int64_t now) {
  if (state.unwritten.count == 0) return;
  const Missed missed = state.unwritten;
  if (!WriteEvent(state, now, {"unwritten", missed.count, missed.from_ms, missed.to_ms, {}},
                  WhenFailing::kPassOver)) {
    return;  // still failing: the record that follows is counted on with the others
  }
  state.unwritten = Missed{};
  state.error_said = false;
  LogError(
      fmt::format("Journal: writing works again; {} records between {} and {} were not "
                  "written",
                  missed.count, UtcTime(missed.from_ms), UtcTime(missed.to_ms)));
}

void SayOmitted(State& state, std::int64_t now) {
  if (state.omitted.count == 0) return;
  const Missed missed = state.omitted;
  state.omitted = Missed{};
  LogError(fmt::format(
      "Journal: {} records between {} and {} were not written: the day's file "
      "reached \"day-limit-mib\" ({} MiB)",
      missed.count, UtcTime(missed.from_ms), UtcTime(missed.to_ms), state.settings.day_limit_mib));
  WriteEvent(state, now, {"omitted", missed.count, missed.from_ms, missed.to_ms, {}});
}

// Before any record: a new day opens its file, says what the old one omitted and removes old
// days; what could not be written is said once writing works.
void BeforeRecord(State& state, std::int64_t now) {
  const std::int64_t today = DayOf(now);
  if (today != state.day) {
    std::string error;
    OpenDay(state, today, error);
    SayOmitted(state, now);
  }
  if (state.retention_day != today) RemoveOldDays(state, today);
  SayUnwritten(state, now);
}

void Close(State& state) {
  host::CloseFile(state.file);
  host::CloseFile(state.lock);
  state = State{};
}

// The label's folder under `base`, locked; a second server on the label gets "<name>~2", …
bool HoldFolder(State& state, const fs::path& base, std::string_view label) {
  const std::string name = LabelFolderName(label);
  for (int n = 1; n <= kMaxSameLabel; ++n) {
    const fs::path folder = base / Path(n == 1 ? name : fmt::format("{}~{}", name, n));
    std::error_code made;
    fs::create_directories(folder, made);
    bool held = false;
    std::string error;
    state.lock = host::HoldLock(Utf8(folder / kLockName), held, error);
    if (state.lock != host::kNoFile || !held) {
      if (state.lock == host::kNoFile) {
        LogError(
            fmt::format("Journal: could not lock {}: {}; records are counted until it can "
                        "be written",
                        Utf8(folder), made ? made.message() : error));
      }
      if (n > 1) {
        LogError(
            fmt::format("Journal: {} is held by another server with the label {}; this "
                        "server journals in {}",
                        Utf8(base / Path(name)), label, Utf8(folder)));
      }
      state.folder = folder;
      return true;
    }
  }
  LogError(fmt::format("Journal: {} servers hold the label {} under {}; no journal is kept",
                       kMaxSameLabel, label, Utf8(base)));
  return false;
}

// Opens the journal of a pending start once the server's label is known (or, with `any_label`,
// whatever it is), and writes the start record.
bool Open(State& state, bool any_label) {
  if (state.open) return true;
  if (!state.pending) return false;
  const std::string label = FStringToUtf8(GetServerLabel());
  if (label.empty() && !any_label) return false;
  const std::int64_t started = state.started_ms;
  state.pending = false;
  state.label = label;
  state.label_json = JsonText(label);
  fs::path base = Path(state.settings.folder);
  if (!base.is_absolute()) base = Path(PluginFolder()) / base;
  if (!HoldFolder(state, base.lexically_normal(), label)) {
    Close(state);
    return false;
  }
  const Tail tail = ReadTail(state.folder);
  state.next_seq = tail.seq + 1;
  std::memcpy(state.prev, tail.prev.data(), 64);
  state.open = true;
  const std::int64_t now = host::UtcMilliseconds();
  state.day = DayOf(now) - 1;  // opened by the first record
  BeforeRecord(state, now);
  std::string note = tail.note;
  if (now - started >= 1000) {
    note += fmt::format("{}the plugin started at {}, before the server's label was known",
                        note.empty() ? "" : "; ", UtcTime(started));
  }
  WriteEvent(state, now, {"start", 0, 0, 0, note});
  return true;
}

}  // namespace

void StartJournal(const JournalSettings& settings) {
  State& state = TheState();
  if (!settings.enabled || state.open || state.pending) return;
  state.settings = settings;
  state.pending = true;
  state.started_ms = host::UtcMilliseconds();
  Open(state, false);
}

void ReloadJournal(const JournalSettings& settings) {
  State& state = TheState();
  if (state.pending) {
    state.settings = settings;
    state.pending = settings.enabled;
    Open(state, false);
    return;
  }
  const bool moves = !state.open || settings.enabled != state.settings.enabled ||
                     settings.folder != state.settings.folder;
  if (state.open) {
    const std::int64_t now = host::UtcMilliseconds();
    BeforeRecord(state, now);
    const std::string note =
        !moves ? std::string()
               : (settings.enabled ? fmt::format("the journal moves to \"{}\"", settings.folder)
                                   : std::string("the journal is turned off"));
    WriteEvent(state, now, {"reload", 0, 0, 0, note});
    if (!moves) {
      state.settings = settings;
      return;
    }
    SayOmitted(state, now);
    Close(state);
  }
  StartJournal(settings);
}

void JournalCommand(const CommandAccount& account) noexcept {
  State& state = TheState();
  const std::int64_t now = host::UtcMilliseconds();
  try {
    if (!Open(state, false)) return;
    BeforeRecord(state, now);
    const std::uint64_t limit = static_cast<std::uint64_t>(state.settings.day_limit_mib) << 20;
    if (state.day_bytes >= limit) {
      state.omitted.Add(now);
      return;
    }
    Write(state, now, [&account](const RecordHead& head, std::string_view prev) {
      return CommandRecord(head, account, prev);
    });
  } catch (const std::exception& e) {
    // Out of memory: the command goes on; the record is counted and said once writing works.
    if (state.open) state.unwritten.Add(now);
    LogFailure("A command's journal record was not written", e.what());
  }
}

void StopJournal() {
  State& state = TheState();
  if (!Open(state, true)) return;
  const std::int64_t now = host::UtcMilliseconds();
  BeforeRecord(state, now);
  SayOmitted(state, now);
  WriteEvent(state, now, {"stop", 0, 0, 0, {}});
  if (state.unwritten.count > 0) {
    LogError(fmt::format("Journal: {} records between {} and {} were never written to {}",
                         state.unwritten.count, UtcTime(state.unwritten.from_ms),
                         UtcTime(state.unwritten.to_ms), Utf8(state.folder)));
  }
  Close(state);
}

void WriteJournalStopAtExit() noexcept {
  State& state = TheState();
  if (!state.open || state.file == host::kNoFile) return;
  state.open = false;
  constexpr std::size_t kRoom = 4096;
  if (state.label_json.size() > kRoom - 160) return;
  char line[kRoom];
  std::size_t at = 0;
  const auto put = [&](const char* text, std::size_t size) {
    std::memcpy(line + at, text, size);
    at += size;
  };
  const auto put_text = [&](const char* text) { put(text, std::strlen(text)); };
  if (state.needs_line_break) put_text("\n");
  put_text("{\"seq\":");
  char digits[24];
  std::size_t count = 0;
  for (std::uint64_t seq = state.next_seq; count == 0 || seq > 0; seq /= 10) {
    digits[count++] = static_cast<char>('0' + seq % 10);
  }
  while (count > 0) line[at++] = digits[--count];
  put_text(",\"time\":\"");
  char time[25];
  FormatUtcTime(host::UtcMilliseconds(), time);
  put(time, 24);
  put_text("\",\"server\":");
  put(state.label_json.data(), state.label_json.size());
  put_text(",\"event\":\"stop\",\"note\":\"the server process is ending\",\"prev\":\"");
  put(state.prev, 64);
  put_text("\"}\n");
  // An empty text allocates nothing; AppendBytes allocates only to describe a failure.
  std::string ignored;
  host::AppendBytes(state.file, std::string_view(line, at), ignored);
}

}  // namespace quillmark
