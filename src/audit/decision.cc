// Deciding a command part by part.
#include "audit/decision.h"

#include <exception>
#include <optional>

#include "audit/audit_text.h"
#include "audit/console_line.h"
#include "audit/permissions.h"
#include "host/host_text.h"
#include "host/unicode.h"

namespace quillmark {
namespace {

bool IsBlankPart(HostView part) {
  for (const HostChar c : part) {
    if (c != HostChar(' ') && c != HostChar('\t')) return false;
  }
  return true;
}

}  // namespace

std::string CommandWord(HostView command) {
  std::size_t start = 0;
  while (start < command.size() && command[start] == HostChar(' ')) ++start;
  std::size_t end = start;
  while (end < command.size() && command[end] != HostChar(' ')) ++end;
  return Lower(NarrowUnits(command.data() + start, end - start));
}

Decision DecideCommand(const nlohmann::json& config, HostView command, const std::string& eos_id,
                       const std::function<bool()>& admin_bit) {
  std::optional<bool> admin;
  Decision decision;
  // White-listed, or granted while the administrator bit is set. The admin search runs even for
  // a white-listed word, so that a broken grant is reported whichever way the command goes.
  const auto passes = [&](HostView part) {
    const std::string word = CommandWord(part);
    const bool white_listed = IsWhiteListed(config, word);
    bool granted = false;
    try {
      granted = IsGranted(config, eos_id, word);
    } catch (const std::exception& e) {
      if (decision.error.empty()) decision.error = e.what();
    }
    if (white_listed) return true;
    if (granted && !admin) admin = admin_bit();
    return granted && *admin;
  };

  if (!MaySplit(command)) {
    decision.allowed = passes(command);
    if (!decision.allowed) decision.refused_part = 1;
    return decision;
  }
  decision.parts = 0;
  ForEachConsolePart(command, [&](const ConsolePart& part) {
    const HostView run = command.substr(part.begin, part.run_end - part.begin);
    if (IsBlankPart(run)) return;
    ++decision.parts;
    if (decision.refused_part == 0 && !passes(run)) {
      decision.refused_part = decision.parts;
      decision.refused_text = host::Utf16ToUtf8(run.data(), run.size());
    }
  });
  if (decision.parts == 0) {
    decision.parts = 1;  // nothing but separators and comments: the empty command
    decision.allowed = passes(HostView());
    if (!decision.allowed) decision.refused_part = 1;
    return decision;
  }
  decision.allowed = decision.refused_part == 0;
  return decision;
}

}  // namespace quillmark
