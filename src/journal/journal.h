// The journal: the plugin's own lasting record, one JSON line per command and per start, reload
// and stop, in <folder>/<label folder>/<YYYY-MM-DD>.jsonl, each record chained to the one before
// by the SHA-256 of its line (docs/journal.md). Records are written on the game thread, each with
// one write handed to the operating system before the command reaches the game. A folder that
// cannot be written, a day past its limit or a label held by another server never stops or
// slows a command: what is not written is counted and said in a record once it can be.
#pragma once

#include <string>

#include "audit/command_account.h"
#include "journal/journal_settings.h"

namespace quillmark {

// Starts the journal of `settings` for this server: once the server's label is known (at once,
// or at the first record, for the game has a label only once its world exists) the label's
// folder is locked (or, when another process holds it, the next free "<name>~<n>"), the chain
// continued from the last whole record of the newest day file, old day files removed, and the
// "start" record written. Nothing when `settings.enabled` is false or the journal is started.
// Game thread; never throws but for want of memory.
void StartJournal(const JournalSettings& settings);

// A configuration was put in force again: a "reload" record, and the new settings from the next
// record on (a new folder, or the journal turned on or off, closes it and opens it anew). Game
// thread.
void ReloadJournal(const JournalSettings& settings);

// Writes the record of one command, when the journal is open. Game thread. Lets no exception
// out: a record that cannot even be made (out of memory) is counted as unwritten, and the
// command goes on.
void JournalCommand(const CommandAccount& account) noexcept;

// Writes what was omitted or not written, and the "stop" record, and closes the journal. Game
// thread.
void StopJournal();

// At process exit, when nothing may wait: the "stop" record, made without allocating and
// written with one write, when the journal is open; nothing else (no lock is taken, no error
// line written). Any thread, once the game thread no longer runs; the journal is closed to
// every later call.
void WriteJournalStopAtExit() noexcept;

}  // namespace quillmark
