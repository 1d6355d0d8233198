// Where in config.json the rule that decided a command stands, as a JSON Pointer: the record of
// a command names the entry that let it through ("/white-list/0",
// "/admins/1/allowed-commands/0", "/plugin-commands/allowed-commands/0").
#pragma once

#include <cstddef>
#include <string>

#include "audit/decision.h"
#include "host/libraries.h"

namespace quillmark {

// The place of the `index`th element of `value` as the allow-list walks it (see Walk), after
// the pointer `at`: "<at>/<index>" in an array, "<at>/<key>" in an object (the key escaped as
// a JSON Pointer escapes it), `at` itself for a single value walked as itself.
std::string WalkPlace(const nlohmann::json& value, std::size_t index, const std::string& at);

// The place of the entry that let `decision` through in `config`, the document it was decided
// by; empty when it was blocked or the entry is no longer there. Never throws but for want of
// memory.
std::string RulePlace(const nlohmann::json& config, const Decision& decision);

}  // namespace quillmark
