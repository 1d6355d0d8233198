// The RCON listener's sockets on POSIX systems: BSD sockets and poll().
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/rcon_socket.h"

namespace sim::net {
namespace {

int Fd(Socket socket) { return static_cast<int>(socket); }

bool MakeNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

bool Startup(std::string& /*error*/) { return true; }

Socket Listen(std::uint16_t port, std::uint16_t& bound, std::string& error) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return kNoSocket;
  }
  const int yes = 1;
  (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, SOMAXCONN) != 0 || !MakeNonBlocking(fd) ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = std::strerror(errno);
    close(fd);
    return kNoSocket;
  }
  bound = ntohs(address.sin_port);
  return static_cast<Socket>(fd);
}

Socket Accept(Socket listener, std::string& peer) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  const int fd = accept(Fd(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (fd < 0) return kNoSocket;
  if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || !MakeNonBlocking(fd)) {
    close(fd);
    return kNoSocket;
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
  return static_cast<Socket>(fd);
}

Io Receive(Socket socket, char* buffer, std::size_t size, std::size_t& count) {
  const ssize_t got = recv(Fd(socket), buffer, size, 0);
  if (got > 0) {
    count = static_cast<std::size_t>(got);
    return Io::kDone;
  }
  if (got == 0) return Io::kClosed;
  return WouldBlock() ? Io::kWouldBlock : Io::kFailed;
}

Io Send(Socket socket, const char* data, std::size_t size, std::size_t& count) {
  const ssize_t sent = send(Fd(socket), data, size, MSG_NOSIGNAL);
  if (sent > 0) {
    count = static_cast<std::size_t>(sent);
    return Io::kDone;
  }
  return sent < 0 && !WouldBlock() ? Io::kFailed : Io::kWouldBlock;
}

void Close(Socket socket) { close(Fd(socket)); }

void Poll(std::vector<PollEntry>& entries, int timeout_ms) {
  std::vector<pollfd> fds(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    fds[i].fd = Fd(entries[i].socket);
    fds[i].events = static_cast<short>((entries[i].want_read ? POLLIN : 0) |
                                       (entries[i].want_write ? POLLOUT : 0));
  }
  if (poll(fds.data(), fds.size(), timeout_ms) <= 0) return;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].readable = (fds[i].revents & POLLIN) != 0;
    entries[i].writable = (fds[i].revents & POLLOUT) != 0;
    entries[i].broken = (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
  }
}

}  // namespace sim::net
