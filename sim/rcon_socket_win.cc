// The RCON listener's sockets on Windows: Winsock 2 and WSAPoll.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "sim/rcon_socket.h"

namespace sim::net {
namespace {

SOCKET Handle(Socket socket) { return static_cast<SOCKET>(socket); }

bool MakeNonBlocking(SOCKET socket) {
  u_long yes = 1;
  return ioctlsocket(socket, FIONBIO, &yes) == 0;
}

std::string LastError(const char* what) {
  return std::string(what) + " failed with Winsock error " + std::to_string(WSAGetLastError());
}

bool WouldBlock() {
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

}  // namespace

bool Startup(std::string& error) {
  static int result = -1;
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (result != 0) error = "WSAStartup failed with error " + std::to_string(result);
  return result == 0;
}

Socket Listen(std::uint16_t port, std::uint16_t& bound, std::string& error) {
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) {
    error = LastError("socket");
    return kNoSocket;
  }
  // Another process may not take the port over while this one listens on it.
  BOOL exclusive = TRUE;
  (void)setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, SOMAXCONN) != 0 || !MakeNonBlocking(listener) ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = LastError("listening");
    closesocket(listener);
    return kNoSocket;
  }
  bound = ntohs(address.sin_port);
  return static_cast<Socket>(listener);
}

Socket Accept(Socket listener, std::string& peer) {
  sockaddr_in address{};
  int length = sizeof address;
  const SOCKET client = accept(Handle(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (client == INVALID_SOCKET) return kNoSocket;
  if (!MakeNonBlocking(client)) {
    closesocket(client);
    return kNoSocket;
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
  return static_cast<Socket>(client);
}

Io Receive(Socket socket, char* buffer, std::size_t size, std::size_t& count) {
  const int got = recv(Handle(socket), buffer, static_cast<int>(size), 0);
  if (got > 0) {
    count = static_cast<std::size_t>(got);
    return Io::kDone;
  }
  if (got == 0) return Io::kClosed;
  return WouldBlock() ? Io::kWouldBlock : Io::kFailed;
}

Io Send(Socket socket, const char* data, std::size_t size, std::size_t& count) {
  const int sent = send(Handle(socket), data, static_cast<int>(size), 0);
  if (sent > 0) {
    count = static_cast<std::size_t>(sent);
    return Io::kDone;
  }
  return sent == SOCKET_ERROR && !WouldBlock() ? Io::kFailed : Io::kWouldBlock;
}

void Close(Socket socket) { closesocket(Handle(socket)); }

void Poll(std::vector<PollEntry>& entries, int timeout_ms) {
  std::vector<WSAPOLLFD> fds(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    fds[i].fd = Handle(entries[i].socket);
    fds[i].events = static_cast<SHORT>((entries[i].want_read ? POLLRDNORM : 0) |
                                       (entries[i].want_write ? POLLWRNORM : 0));
  }
  if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeout_ms) <= 0) return;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].readable = (fds[i].revents & POLLRDNORM) != 0;
    entries[i].writable = (fds[i].revents & POLLWRNORM) != 0;
    entries[i].broken = (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
  }
}

}  // namespace sim::net
