// The stream sockets of the simulated server's RCON listener: one listening socket on the
// loopback address, its clients, and waiting until one of them is ready. One implementation per
// platform (rcon_socket_posix.cc, rcon_socket_win.cc). Every socket is non-blocking; every
// function reports failure by its result and never throws. A socket is used by one thread at a
// time (the listener's own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::net {

// A socket handle: a file descriptor, or Windows' SOCKET (an unsigned pointer-sized integer).
using Socket = std::uintptr_t;
inline constexpr Socket kNoSocket = ~Socket{0};

// Readies the platform's sockets once per process (Winsock's start-up). False, with the reason
// in `error`, when they cannot be used.
bool Startup(std::string& error);

// A socket listening on 127.0.0.1:`port` (0: a free port the system picks), with the port it
// is bound to in `bound`. kNoSocket, with the reason in `error`, when it cannot listen.
Socket Listen(std::uint16_t port, std::uint16_t& bound, std::string& error);

// A client waiting on `listener`, with its address as "a.b.c.d:port" in `peer`; kNoSocket when
// none is waiting.
Socket Accept(Socket listener, std::string& peer);

enum class Io {
  kDone,        // `count` bytes moved (at least one)
  kWouldBlock,  // nothing to read, or no room to send, for now
  kClosed,      // the client closed its end (Receive only)
  kFailed,      // the connection failed
};

// Reads at most `size` bytes.
Io Receive(Socket socket, char* buffer, std::size_t size, std::size_t& count);
// Sends at most `size` bytes.
Io Send(Socket socket, const char* data, std::size_t size, std::size_t& count);
void Close(Socket socket);

// A socket to wait for, and what it turned out to be ready for.
struct PollEntry {
  Socket socket = kNoSocket;
  bool want_read = false;
  bool want_write = false;
  bool readable = false;  // or closed by the client
  bool writable = false;
  bool broken = false;  // failed or hung up: reading tells which
};
// Waits at most `timeout_ms` until one of `entries` is ready, and marks each one's readiness.
void Poll(std::vector<PollEntry>& entries, int timeout_ms);

}  // namespace sim::net
