// The journal's file operations on POSIX: open(O_APPEND), one write(), flock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/journal_file.h"

namespace host {

FileHandle OpenForAppend(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) error = std::strerror(errno);
  return fd < 0 ? kNoFile : fd;
}

bool AppendBytes(FileHandle file, std::string_view bytes, std::string& error) {
  const ssize_t written = ::write(static_cast<int>(file), bytes.data(), bytes.size());
  if (written == static_cast<ssize_t>(bytes.size())) return true;
  error = written < 0 ? std::strerror(errno) : "the write was cut short";
  return false;
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) ::close(static_cast<int>(file));
}

FileHandle HoldLock(const std::string& path, bool& held, std::string& error) {
  held = false;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return kNoFile;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    held = errno == EWOULDBLOCK;
    error = std::strerror(errno);
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

}  // namespace host
