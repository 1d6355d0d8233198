// The journal's file operations on Windows: CreateFileW with FILE_APPEND_DATA, one WriteFile,
// and LockFileEx.
#include <windows.h>

#include <string>

#include "host/journal_file.h"

namespace host {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Reason(DWORD code) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason.empty() ? "Windows error " + std::to_string(code) : reason;
}

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle Own(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

}  // namespace

FileHandle OpenForAppend(const std::string& path, std::string& error) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) error = Reason(GetLastError());
  return Own(file);
}

bool AppendBytes(FileHandle file, std::string_view bytes, std::string& error) {
  DWORD written = 0;
  if (!WriteFile(Handle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    error = Reason(GetLastError());
    return false;
  }
  if (written != bytes.size()) {
    error = "the write was cut short";
    return false;
  }
  return true;
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(Handle(file));
}

FileHandle HoldLock(const std::string& path, bool& held, std::string& error) {
  held = false;
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Reason(GetLastError());
    return kNoFile;
  }
  OVERLAPPED whole{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                  &whole)) {
    const DWORD code = GetLastError();
    held = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
    error = Reason(code);
    CloseHandle(file);
    return kNoFile;
  }
  return Own(file);
}

}  // namespace host
