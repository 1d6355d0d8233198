// Deciding a command part by part.
#include "audit/decision.h"

#include <optional>

#include "audit/audit_text.h"
#include "audit/console_line.h"
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
  std::string word = host::Utf16ToUtf8(command.data() + start, end - start);
  LowerInPlace(word);
  return word;
}

Decision DecideCommand(const AllowList& rules, HostView command, std::string_view eos_id,
                       const std::function<bool()>& admin_bit, std::vector<PartTrace>* trace,
                       const PlayerGroupsFn& player_groups, const PluginCommands* plugin) {
  std::optional<bool> admin;
  Decision decision;
  bool refused = false;
  // The player's groups, asked for once, and only while a grant through them could count. The
  // asking function holds one pointer, so that making it allocates nothing.
  struct Groups {
    std::optional<bool>& admin;
    const std::function<bool()>& admin_bit;
    const PlayerGroupsFn& player_groups;
    bool asked = false;
    std::optional<std::vector<std::string>> names;
  } groups{admin, admin_bit, player_groups, false, std::nullopt};
  const GroupsAsk ask_groups = [state = &groups]() -> const std::vector<std::string>* {
    if (!state->admin) state->admin = state->admin_bit();
    if (!*state->admin) return nullptr;
    if (!state->asked) {
      state->asked = true;
      state->names = state->player_groups();
    }
    return state->names ? &*state->names : nullptr;
  };
  // White-listed, or granted while the administrator bit is set. The admin search runs even for
  // a white-listed word, so that a broken grant is reported whichever way the command goes.
  const auto passes = [&](HostView part) {
    const std::string word = CommandWord(part);
    const std::size_t white_list_entry = rules.WhiteListEntry(word);
    bool allowed = white_list_entry != kNowhere;
    GrantFound grant =
        rules.FindGrant(eos_id, word, allowed || !player_groups ? nullptr : &ask_groups);
    if (!grant.error.empty() && decision.error.empty()) decision.error = grant.error;
    const bool admin_asked = !allowed && grant.granted;
    if (admin_asked) {
      if (!admin) admin = admin_bit();
      allowed = *admin;
    }
    // What the player could not run, a plugin may run for them.
    const std::size_t plugin_entry = !allowed && plugin != nullptr ? plugin->Entry(word) : kNowhere;
    allowed = allowed || plugin_entry != kNowhere;
    if (allowed && decision.white_list_entry == kNowhere && decision.grant_entry == kNowhere &&
        decision.plugin_entry == kNowhere) {
      decision.white_list_entry = white_list_entry;
      decision.plugin_entry = plugin_entry;
      if (white_list_entry == kNowhere && plugin_entry == kNowhere) {
        decision.grant_entry = grant.entry;
        decision.grant = grant.grant;
        decision.grant_group = grant.group;
      }
    }
    if (!allowed && !refused) {
      refused = true;
      decision.refused_word = word;
    }
    if (trace != nullptr) {
      trace->push_back({host::Utf16ToUtf8(part.data(), part.size()), word, white_list_entry,
                        std::move(grant), admin_asked, admin_asked && *admin, allowed,
                        plugin_entry});
    }
    return allowed;
  };

  if (!MaySplit(command)) {
    decision.allowed = passes(command);
    // A comment ("//" outside quotes) inside the first word makes the console run another word
    // than the one decided ("fly//x" runs fly): what it runs must pass as well.
    if (decision.allowed) {
      ForEachConsolePart(command, [&](const ConsolePart& part) {
        const HostView run = command.substr(part.begin, part.run_end - part.begin);
        if (run.size() < command.size() && !IsBlankPart(run) &&
            CommandWord(run) != CommandWord(command) && !passes(run)) {
          decision.allowed = false;
        }
      });
    }
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
