// Audit text rules.
#include "audit/audit_text.h"

namespace quillmark {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string EscapeControl(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::string HideSecrets(std::string_view command) {
  // The game's console splits at any blank, tabs included, so the password hides behind any.
  std::size_t start = 0;
  while (start < command.size() && IsBlank(command[start])) ++start;
  std::size_t end = start;
  while (end < command.size() && !IsBlank(command[end])) ++end;
  if (Lower(command.substr(start, end - start)) != "enablecheats") return std::string(command);
  for (std::size_t i = end; i < command.size(); ++i) {
    if (!IsBlank(command[i])) return std::string(command.substr(0, end)) + " ***";
  }
  return std::string(command);
}

}  // namespace quillmark
