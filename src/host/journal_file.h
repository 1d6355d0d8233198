// The journal's platform file operations: appending a whole line with one write, holding a
// folder's lock that the operating system gives up when the process dies, and the UTC wall
// clock. One file per platform (journal_file_posix.cc, journal_file_win.cc), chosen by the build.
// Paths are UTF-8. Everything else the journal does with files (folders, listing, reading a
// file's tail, removing old files) is the standard library's, the same on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// An open file or lock, or kNoFile.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Opens `path` for appending (O_APPEND / FILE_APPEND_DATA), creating it when it is missing:
// every write lands at the file's end, whoever else appends. Returns kNoFile on failure, with
// the system's reason in `error`. Any thread; the caller owns the handle (CloseFile).
FileHandle OpenForAppend(const std::string& path, std::string& error);

// Hands `bytes` to the operating system with one write call (no buffering of ours, no flush
// to the disk: a crash of the process after it returns loses nothing). True when every byte
// was taken; false with the reason in `error` otherwise (a short write counts as a failure).
// Does not allocate on success, so it may be called at process exit.
bool AppendBytes(FileHandle file, std::string_view bytes, std::string& error);

// Closes a handle of OpenForAppend or HoldLock; kNoFile is passed over.
void CloseFile(FileHandle file);

// Takes an exclusive lock on the file `path` (created when missing), without waiting: flock on
// POSIX, LockFileEx on Windows. The lock lasts until CloseFile, or until the process ends,
// however it ends. Returns kNoFile when another process holds it (`held` set) or the file
// cannot be opened (`error` set).
FileHandle HoldLock(const std::string& path, bool& held, std::string& error);

// UTC wall time, in milliseconds since 1970-01-01. On the simulated host the clock a test may
// set (its offset from the real one); elsewhere the system's. Any thread; takes no lock.
std::int64_t UtcMilliseconds();

}  // namespace host
