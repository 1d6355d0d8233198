// Reading config.json. The file is read whole (up to its limit), its nesting measured by a scan
// of its brackets, and then parsed by the JSON library's stream extraction, which does exactly
// what the file format needs: it skips a byte order mark, refuses comments and stops after the
// first value.
#include "base/config.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/url_mask.h"

namespace quillmark {
namespace {

// The JSON library's message as it may be shown: cut, and every URL it quotes from the file
// masked (cut first, so that a message quoting a huge token costs little; a URL cut short is
// masked all the same).
std::string Quoted(const std::string& message) {
  if (message.size() <= kMaxQuotedMessage) return MaskUrlsIn(message);
  std::size_t end = kMaxQuotedMessage;
  while (end > 0 && (static_cast<unsigned char>(message[end]) & 0xC0) == 0x80) --end;
  return MaskUrlsIn(message.substr(0, end)) + "\xE2\x80\xA6";
}

// The library's message with the place it names (" at line L, column C") replaced by ours, so
// that a message never names two places.
std::string WithPlace(std::string message, std::size_t line, std::size_t column) {
  constexpr std::string_view kAt = " at line ";
  const std::size_t at = message.find(kAt);
  const std::size_t end = at == std::string::npos ? at : message.find(':', at);
  if (end == std::string::npos) return message;
  return message.replace(at, end - at,
                         " at line " + std::to_string(line) + ", column " + std::to_string(column));
}

// Refuses a first value that nests deeper than the limit. Brackets inside strings do not count;
// a first value that is no array or object nests nothing, and what follows it is not read.
void CheckNesting(const std::string& text) {
  std::size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) {
    ++i;
  }
  if (i == text.size() || (text[i] != '[' && text[i] != '{')) return;
  int depth = 0;
  bool in_string = false;
  std::size_t string_start = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
      string_start = i;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxConfigDepth) {
        const auto [line, column] = LineAndColumn(text, i);
        throw ConfigError("config.json nests deeper than " + std::to_string(kMaxConfigDepth) +
                              " levels (at line " + std::to_string(line) + ", column " +
                              std::to_string(column) + "); it is not read",
                          line, column);
      }
    } else if (c == ']' || c == '}') {
      if (--depth == 0) return;
    }
  }
  // Left to the library, a text that never ends would be quoted whole in its message.
  if (in_string) {
    const auto [line, column] = LineAndColumn(text, string_start);
    throw ConfigError("config.json has a text that is never closed (it opens at line " +
                          std::to_string(line) + ", column " + std::to_string(column) +
                          "); it is not read",
                      line, column);
  }
}

ConfigError TooLarge() {
  return ConfigError("config.json is larger than " + std::to_string(kMaxConfigBytes >> 20) +
                     " MiB; it is not read");
}

}  // namespace

nlohmann::json ReadConfigFile(const std::string& path) {
  return ParseConfigText(ReadConfigText(path));
}

std::string ReadConfigText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) throw ConfigError("Can't open config.json");
  std::error_code ignored;
  const auto size = std::filesystem::file_size(path, ignored);
  if (size != static_cast<std::uintmax_t>(-1) && size > kMaxConfigBytes) {
    throw TooLarge();
  }
  std::string text;
  if (size != static_cast<std::uintmax_t>(-1)) text.reserve(static_cast<std::size_t>(size));
  char chunk[1 << 16];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxConfigBytes) throw TooLarge();
  }
  return text;
}

std::pair<std::size_t, std::size_t> LineAndColumn(const std::string& text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

std::size_t PassedOverText(const std::string& text) {
  std::istringstream stream(text);
  nlohmann::json document;
  stream >> document;
  // The library reads from the stream exactly the first value's bytes, but for a number one
  // byte past it (a number always ends in a digit).
  auto end = static_cast<std::size_t>(stream.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
  if (document.is_number() && end > 0 && (text[end - 1] < '0' || text[end - 1] > '9')) --end;
  end = text.find_first_not_of(" \t\n\r", std::min(end, text.size()));
  return end;
}

nlohmann::json ParseConfigText(std::string text) {
  if (text.size() > kMaxConfigBytes) {
    throw TooLarge();
  }
  CheckNesting(text);
  std::istringstream stream(text);
  nlohmann::json document;
  try {
    stream >> document;
  } catch (const nlohmann::json::parse_error& e) {
    // Where, from the byte the library stopped at: its own line and column say column 0 when
    // that byte is a line break.
    const auto [line, column] = LineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0);
    throw ConfigError(Quoted(WithPlace(e.what(), line, column)), line, column);
  } catch (const nlohmann::json::exception& e) {  // a number out of range
    throw ConfigError(Quoted(e.what()));
  }
  return document;
}

}  // namespace quillmark
