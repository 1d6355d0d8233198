// Reading config.json, the plugin's one configuration file. The same reading serves start-up, a
// reload and the configuration checker, so that what one accepts the others accept.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/libraries.h"

namespace quillmark {

// Limits past which a file is refused before it is parsed: no configuration comes near them,
// and a hostile one would otherwise cost seconds and gigabytes.
inline constexpr std::size_t kMaxConfigBytes = std::size_t{16} << 20;
inline constexpr int kMaxConfigDepth = 64;
// The most characters of the JSON library's message quoted in an error (its own message quotes
// the text it read last, which can be the whole file).
inline constexpr std::size_t kMaxQuotedMessage = 300;

// Why a configuration file was refused: the message is what the plugin logs; a parse error also
// tells where, from 1 (0 when not known).
class ConfigError : public std::runtime_error {
 public:
  explicit ConfigError(const std::string& message, std::size_t line = 0, std::size_t column = 0)
      : std::runtime_error(message), line_(line), column_(column) {}
  [[nodiscard]] std::size_t Line() const { return line_; }
  [[nodiscard]] std::size_t Column() const { return column_; }

 private:
  std::size_t line_;
  std::size_t column_;
};

// A problem found in a configuration: where it is, as a JSON Pointer ("/messages/sender"; empty
// for the whole document), and the sentence the plugin logs for it.
struct ConfigProblem {
  std::string path;
  std::string message;
  bool operator==(const ConfigProblem&) const = default;
};

// The plugin's folder: the server's folder followed by "/ArkApi/Plugins/quillmark". Any thread.
std::string PluginFolder();

// Where config.json lies: the plugin's folder followed by "/config.json". Any thread.
std::string ConfigPath();

// The document in the file at `path`. Throws ConfigError with "Can't open config.json" when the
// file cannot be opened, with one sentence when it is larger than kMaxConfigBytes or nests
// deeper than kMaxConfigDepth, and with the JSON library's parse-error message when it is not
// JSON: cut to kMaxQuotedMessage characters, every URL it quotes masked (MaskUrlsIn), and the
// place it names the error's own Line() and Column(). A leading UTF-8 byte order mark is
// skipped, comments are refused, text after the first complete value is ignored, and a repeated
// key keeps its last value. Any thread.
nlohmann::json ReadConfigFile(const std::string& path);
// The same in two steps: the file's bytes (throwing ConfigError when it cannot be opened or is
// larger than kMaxConfigBytes), then their document.
std::string ReadConfigText(const std::string& path);
nlohmann::json ParseConfigText(std::string text);

// The offset in `text` of what follows its first value, blanks skipped — the text the parsing
// above passes over — or std::string::npos when nothing does. For a text that parses.
std::size_t PassedOverText(const std::string& text);

// Line and column (from 1) of byte `offset` of `text`.
std::pair<std::size_t, std::size_t> LineAndColumn(const std::string& text, std::size_t offset);

}  // namespace quillmark
