// Learning the server's administrator password. The game reads the map URL's options by name in
// any letter case; every value given is kept, so that none shows, whichever one the game uses.
#include "audit/server_password.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "audit/audit_text.h"
#include "audit/command_line.h"
#include "host/unicode.h"

namespace quillmark {
namespace {

struct Known {
  bool read = false;
  std::vector<std::string> passwords;
};

Known& TheKnown() {
  static Known known;
  return known;
}

void Note(std::vector<std::string>& passwords, std::string_view password) {
  if (password.empty() ||
      std::find(passwords.begin(), passwords.end(), password) != passwords.end()) {
    return;
  }
  passwords.emplace_back(password);
}

bool IsOptionName(std::string_view name) { return Lower(name) == "serveradminpassword"; }

// Every "?ServerAdminPassword=PW" of `argument` (UTF-8).
void TakeOptions(std::string_view argument, std::vector<std::string>& passwords) {
  for (std::size_t at = argument.find('?'); at != std::string_view::npos;) {
    const std::size_t next = argument.find('?', at + 1);
    const std::string_view option =
        argument.substr(at + 1, next == std::string_view::npos ? next : next - at - 1);
    at = next;
    const std::size_t equals = option.find('=');
    if (equals != std::string_view::npos && IsOptionName(option.substr(0, equals))) {
      Note(passwords, option.substr(equals + 1));
    }
  }
}

}  // namespace

std::span<const std::string> ServerPasswords() {
  Known& known = TheKnown();
  if (!known.read) {
    bool program = true;
    ForEachCommandLineArgument([&](const HostChar* units) {
      if (!std::exchange(program, false)) {
        std::size_t length = 0;
        while (units[length] != 0) ++length;
        TakeOptions(host::Utf16ToUtf8(units, length), known.passwords);
      }
      return false;
    });
    known.read = true;
  }
  return known.passwords;
}

void NoteServerPassword(std::string_view password) {
  (void)ServerPasswords();
  Note(TheKnown().passwords, password);
}

void ForgetServerPasswords() { TheKnown() = Known{}; }

}  // namespace quillmark
