// The Windows command-line functions for the simulated host on POSIX systems: the process's own
// arguments quoted as Windows would pass them, and the split by Windows' own rules, so that the
// plugin meets exactly what it meets on a Windows server.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "sim/internal.h"
#include "sim/sim_control.h"

namespace sim {
namespace {

std::mutex command_line_mutex;
HostText* command_line = nullptr;
// Every text GetCommandLineW has handed out stays alive: a caller may still hold its pointer.
std::vector<std::unique_ptr<HostText>>& Texts() {
  static auto* texts = new std::vector<std::unique_ptr<HostText>>();
  return *texts;
}
HostText* Keep(HostText text) {
  Texts().push_back(std::make_unique<HostText>(std::move(text)));
  return Texts().back().get();
}
std::int64_t live_argv_blocks = 0;

bool IsBlank(HostChar c) { return c == ' ' || c == '\t'; }

// One argument quoted so that CommandLineToArgvW gives it back unchanged.
void AppendQuoted(HostText& out, const HostText& arg) {
  if (!arg.empty() && arg.find_first_of(HOST_TEXT(" \t\"")) == HostText::npos) {
    out += arg;
    return;
  }
  out.push_back('"');
  std::size_t backslashes = 0;
  for (HostChar c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      out.append(backslashes + 1, '\\');  // doubled, plus one for the quote
    else
      out.append(backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');  // doubled before the closing quote
  out.push_back('"');
}

HostText OwnCommandLine() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  HostText line;
  std::size_t start = 0;
  while (start < raw.size()) {
    std::size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    if (!line.empty()) line.push_back(' ');
    AppendQuoted(line, DecodeUtf8(raw.substr(start, end - start)));
    start = end + 1;
  }
  return line;
}

// Splits `line` into arguments by Windows' rules; each argument's units are appended to
// `units` and followed by a zero. The program name (the first argument) ends at the next quote
// when it starts with one, else at the next blank, with no escapes. The others: blanks outside
// quotes separate arguments; 2n backslashes before a quote give n backslashes and the quote
// opens or closes a quoted part; 2n+1 give n backslashes and a literal quote; other backslashes
// are literal; a third quote in a row gives a literal quote.
int SplitCommandLine(const HostChar* s, std::vector<HostChar>& units) {
  int count = 1;
  if (*s == '"') {
    ++s;
    while (*s != 0 && *s != '"') units.push_back(*s++);
    if (*s == '"') ++s;
  } else {
    while (*s != 0 && !IsBlank(*s)) units.push_back(*s++);
  }
  units.push_back(0);
  while (IsBlank(*s)) ++s;
  if (*s == 0) return count;
  ++count;
  bool open = true;  // the last counted argument still lacks its terminating zero
  int quotes = 0;
  std::size_t backslashes = 0;
  while (*s != 0) {
    if (IsBlank(*s) && quotes == 0) {
      units.push_back(0);
      while (IsBlank(*s)) ++s;
      open = *s != 0;
      if (open) ++count;
      backslashes = 0;
    } else if (*s == '\\') {
      units.push_back(*s++);
      ++backslashes;
    } else if (*s == '"') {
      if (backslashes % 2 == 0) {
        units.resize(units.size() - backslashes / 2);
        ++quotes;
      } else {
        units.resize(units.size() - backslashes / 2 - 1);
        units.push_back('"');
      }
      ++s;
      backslashes = 0;
      while (*s == '"') {
        if (++quotes == 3) {
          units.push_back('"');
          quotes = 0;
        }
        ++s;
      }
      if (quotes == 2) quotes = 0;
    } else {
      units.push_back(*s++);
      backslashes = 0;
    }
  }
  if (open) units.push_back(0);
  return count;
}

}  // namespace

void SetCommandLine(const HostText& line) {
  std::lock_guard lock(command_line_mutex);
  command_line = Keep(line);
}

std::int64_t LiveArgvBlocks() {
  std::lock_guard lock(command_line_mutex);
  return live_argv_blocks;
}

}  // namespace sim

extern "C" {

HostChar* GetCommandLineW() {
  std::lock_guard lock(sim::command_line_mutex);
  if (sim::command_line == nullptr) sim::command_line = sim::Keep(sim::OwnCommandLine());
  return sim::command_line->data();
}

HostChar** CommandLineToArgvW(const HostChar* command_line, int* count) {
  if (count == nullptr) return nullptr;
  std::vector<HostChar> units;
  int argc = 0;
  if (command_line == nullptr || *command_line == 0) {
    // An empty command line stands for the program alone.
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    for (HostChar c : sim::DecodeUtf8(exe.string())) units.push_back(c);
    units.push_back(0);
    argc = 1;
  } else {
    argc = sim::SplitCommandLine(command_line, units);
  }
  const std::size_t table = sizeof(HostChar*) * static_cast<std::size_t>(argc + 1);
  auto* block = static_cast<unsigned char*>(std::malloc(table + units.size() * sizeof(HostChar)));
  if (block == nullptr) return nullptr;
  auto** argv = reinterpret_cast<HostChar**>(block);
  auto* text = reinterpret_cast<HostChar*>(block + table);
  std::memcpy(text, units.data(), units.size() * sizeof(HostChar));
  for (int i = 0; i < argc; ++i) {
    argv[i] = text;
    while (*text != 0) ++text;
    ++text;
  }
  argv[argc] = nullptr;
  *count = argc;
  std::lock_guard lock(sim::command_line_mutex);
  ++sim::live_argv_blocks;
  return argv;
}

void* LocalFree(void* block) {
  if (block != nullptr) {
    std::lock_guard lock(sim::command_line_mutex);
    --sim::live_argv_blocks;
  }
  std::free(block);
  return nullptr;
}

}  // extern "C"
