// The simulated server's RCON listener: Source RCON over TCP on the loopback address, on a
// network thread of its own, so that no client can stall the game loop. It accepts clients,
// cuts their byte streams into packets and hands them to the game thread as events, in the
// order they came; what the game thread sends back is written out by the network thread. A
// client whose packet is malformed or larger than the protocol allows is closed; the others go
// on. Internal to the simulated host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/rcon_socket.h"

namespace sim {

// The largest body a client may send: what Source RCON servers accept. A packet's size field
// counts its id, type, body and two terminating zero bytes.
inline constexpr std::size_t kMaxRconBody = 4096;
inline constexpr std::int32_t kMaxRconPacketSize = static_cast<std::int32_t>(kMaxRconBody) + 10;

// One complete packet as it came over the wire.
struct WirePacket {
  std::int32_t size = 0;
  std::int32_t id = 0;
  std::int32_t type = 0;
  std::string body;  // up to its first zero byte
};

// What cutting a client's bytes into packets found.
enum class Cut { kPacket, kNeedMore, kMalformed };

// Takes the first complete packet off the front of `bytes` into `packet`; kNeedMore when it is
// not all there yet; kMalformed, with the reason in `why`, for a size out of range or a packet
// that does not end in two zero bytes.
Cut CutPacket(std::string& bytes, WirePacket& packet, std::string& why);

// A packet as the server writes it: size, id and type little-endian, the body, two zero bytes.
std::string WritePacket(std::int32_t id, std::int32_t type, const std::string& body);

struct RconEvent {
  enum class Kind { kOpened, kPacket, kClosed };
  Kind kind = Kind::kOpened;
  std::uint64_t client = 0;  // numbered from 1, never reused
  std::string peer;          // kOpened: the client's address
  WirePacket packet;         // kPacket
};

class RconListener {
 public:
  RconListener();
  RconListener(const RconListener&) = delete;
  RconListener& operator=(const RconListener&) = delete;
  ~RconListener();

  // Listens on 127.0.0.1:`port` (0: any free port) and starts the network thread. Returns the
  // port, or 0 with the reason in `error`.
  std::uint16_t Start(std::uint16_t port, std::string& error);
  // Closes every client and the listening socket and joins the network thread.
  void Stop();

  // At most `count` events, oldest first. Game thread.
  std::vector<RconEvent> Take(std::size_t count);
  // Queues `bytes` to be written to `client` (dropped when it is gone). Game thread.
  void Send(std::uint64_t client, const std::string& bytes);
  // What happened on the network that the server's operator may want to read ("client
  // 127.0.0.1:50412 connected", why a client was closed), oldest first.
  std::vector<std::string> TakeNotes();

 private:
  struct Client;
  void Run();
  void Accept();
  void Read(Client& client);
  void Write(Client& client);
  // Closes the client, telling the game thread, with a note "client <peer> <what_happened>".
  void Drop(Client& client, const std::string& what_happened);
  void Note(std::string note);

  net::Socket listener_ = net::kNoSocket;
  std::thread thread_;
  std::map<std::uint64_t, std::unique_ptr<Client>> clients_;  // network thread only
  std::uint64_t next_client_ = 1;

  std::mutex mutex_;  // guards what follows
  bool stopping_ = false;
  std::deque<RconEvent> events_;
  std::map<std::uint64_t, std::string> outgoing_;
  std::vector<std::string> notes_;
};

}  // namespace sim
