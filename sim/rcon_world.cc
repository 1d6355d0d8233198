// RCON in the simulated game: the connection object laid out as the engine's and reached by key,
// the game's own packet handler and its reply function, and the connections themselves: those of
// clients of the TCP listener, whose packets the game thread handles during its frames, and the
// stand-in's own connection, through which RunRconCommand sends its requests. Every packet goes
// through whatever is hooked in front of "RCONClientConnection.ProcessRCONPacket(RCONPacket&,
// UWorld*)", as on the server, where the framework's own detour runs the registered RCON
// commands.
//
// Where it knowingly differs: what the engine writes into the socket's description is not
// known; here it is the client's address ("127.0.0.1:50412"). The game's answer to a command is
// the server's answer to a command without output, whatever the command.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/internal.h"
#include "sim/rcon_listener.h"
#include "sim/sim_control.h"

// The engine's socket: its function table and handle, its type, then its description.
class FSocket {
 public:
  unsigned char header[0x10] = {};
  std::int32_t socket_type = 2;  // a stream
  FString description;
};

namespace sim {
namespace {

// SERVERDATA_AUTH_RESPONSE: the answer to an authentication, its id -1 when it failed.
constexpr int kAuthResponse = 2;
constexpr int kResponseValue = 0;
// Packets the game handles in one frame; the rest wait for the next.
constexpr std::size_t kPacketsPerFrame = 64;
// Where the stand-in's own requests come from: as if from a tool on the server's machine.
constexpr char kOwnPeer[] = "127.0.0.1:49152";

// A connection as the engine lays it out; the plugin reaches its fields by key.
class Connection final : public RCONClientConnection {
 public:
  Connection(std::uint64_t client_number, const std::string& peer, const std::string& password)
      : client(client_number) {
    socket_object.description = FString(DecodeUtf8(peer).c_str());
    server_password = FString(DecodeUtf8(password).c_str());
  }

  unsigned char header[0x18] = {};
  FSocket* socket = &socket_object;
  void* cheat_manager = nullptr;
  bool is_closed = false;
  bool is_authenticated = false;
  // Flags the engine packs beside the two, never zero here, so that a reader of more than one
  // byte sees "authenticated" for every connection.
  unsigned char neighbours[6] = {0x5A, 0xA5, 1, 1, 1, 1};
  unsigned char buffers[0x28] = {};  // the data buffer, the packet size, the times
  FString server_password;

  // Not the engine's: where the answers go (0: the stand-in's own connection), and the socket.
  std::uint64_t client;
  FSocket socket_object;
};

struct Rcon {
  std::string password;  // the server's ServerAdminPassword
  RconListener listener;
  std::map<std::uint64_t, std::unique_ptr<Connection>> clients;
  std::int64_t gone = 0;  // clients that have disconnected or been closed
  // Connections made by the server itself, without a socket, and what was sent back on them.
  std::vector<std::unique_ptr<Connection>> local;
  Connection* own = nullptr;  // the one RunRconCommand uses
  std::vector<RconReply> local_replies;
  int next_local_id = 1;
};

Rcon& TheRcon() {
  static auto* rcon = new Rcon();
  return *rcon;
}

constexpr char kProcessPacket[] = "RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*)";

// Hands the packet to the first detour in front of the game's handler.
void Process(Connection& connection, RCONPacket& packet) {
  const auto entry = reinterpret_cast<RconPacketFn>(
      CurrentEntry(kProcessPacket, reinterpret_cast<void*>(&GameProcessRconPacket)));
  entry(&connection, &packet, AsaApi::GetApiUtils().GetWorld());
}

void Handle(Rcon& rcon, RconEvent& event) {
  switch (event.kind) {
    case RconEvent::Kind::kOpened:
      rcon.clients[event.client] =
          std::make_unique<Connection>(event.client, event.peer, rcon.password);
      break;
    case RconEvent::Kind::kPacket: {
      const auto it = rcon.clients.find(event.client);
      if (it == rcon.clients.end()) break;
      RCONPacket packet{event.packet.size, event.packet.id, event.packet.type,
                        FString(DecodeUtf8(event.packet.body).c_str())};
      Process(*it->second, packet);
      break;
    }
    case RconEvent::Kind::kClosed:
      // The game drops a closed connection at once: nothing handles a packet of it again.
      if (rcon.clients.erase(event.client) != 0) ++rcon.gone;
      break;
  }
}

bool SameText(const FString& a, const FString& b) {
  return a.Len() == b.Len() && std::char_traits<HostChar>::compare(*a, *b, a.Len()) == 0;
}

}  // namespace

void GameProcessRconPacket(RCONClientConnection* self, RCONPacket* packet, UWorld* /*world*/) {
  auto* connection = static_cast<Connection*>(self);
  if (packet->Type == kRconAuth) {
    connection->is_authenticated = !connection->server_password.IsEmpty() &&
                                   SameText(packet->Body, connection->server_password);
    FString empty;
    self->SendMessageW(connection->is_authenticated ? packet->Id : -1, kAuthResponse, &empty);
    return;
  }
  // A command of a client that has not authenticated, or a packet of another type: ignored.
  if (packet->Type != kRconExecCommand || !connection->is_authenticated) return;
  FString answer(HOST_TEXT("Server received, But no response!! "));
  self->SendMessageW(packet->Id, kResponseValue, &answer);
}

void GameRconSendMessage(RCONClientConnection* self, int id, int type, FString* message) {
  auto* connection = static_cast<Connection*>(self);
  Rcon& rcon = TheRcon();
  if (connection->client == 0) {
    rcon.local_replies.push_back({id, type, HostText(**message)});
    return;
  }
  // A long answer goes out in packets of the largest body, all with the request's id.
  const std::string text = EncodeUtf8(HostText(**message));
  std::string bytes;
  std::size_t at = 0;
  do {
    bytes += WritePacket(id, type, text.substr(at, kMaxRconBody));
    at += kMaxRconBody;
  } while (at < text.size());
  rcon.listener.Send(connection->client, bytes);
}

#if defined(__clang__) || defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
std::vector<std::pair<std::string_view, std::size_t>> RconFields() {
  return {{"RCONClientConnection.Socket", offsetof(Connection, socket)},
          {"RCONClientConnection.IsAuthenticated", offsetof(Connection, is_authenticated)},
          {"RCONClientConnection.IsClosed", offsetof(Connection, is_closed)},
          {"RCONClientConnection.ServerPassword", offsetof(Connection, server_password)},
          {"FSocket.SocketDescription", offsetof(FSocket, description)}};
}
#if defined(__clang__) || defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

void TickRcon() {
  Rcon& rcon = TheRcon();
  for (RconEvent& event : rcon.listener.Take(kPacketsPerFrame)) Handle(rcon, event);
}

void EndRcon() {
  Rcon& rcon = TheRcon();
  rcon.listener.Stop();
  rcon.clients.clear();
  rcon.local.clear();
  rcon.own = nullptr;
  rcon.local_replies.clear();
}

void SetServerAdminPassword(const std::string& password) { TheRcon().password = password; }

int StartRconListener(int port, std::string* error) {
  std::string reason = "the port " + std::to_string(port) + " is out of range";
  const std::uint16_t bound =
      port < 0 || port > 65535 ? 0
                               : TheRcon().listener.Start(static_cast<std::uint16_t>(port), reason);
  if (bound == 0 && error != nullptr) *error = reason;
  return bound;
}

std::int64_t RconClientsGone() { return TheRcon().gone; }

std::vector<std::string> TakeRconNotes() { return TheRcon().listener.TakeNotes(); }

RCONClientConnection* OpenRconConnection(const std::string& peer) {
  Rcon& rcon = TheRcon();
  rcon.local.push_back(std::make_unique<Connection>(0, peer, rcon.password));
  return rcon.local.back().get();
}

std::vector<RconReply> SendRconPacket(RCONClientConnection* connection, int type,
                                      const HostText& body) {
  Rcon& rcon = TheRcon();
  RCONPacket packet{0, rcon.next_local_id++, type, FString(body.c_str())};
  packet.Length = static_cast<int>(EncodeUtf8(body).size()) + 10;
  rcon.local_replies.clear();
  Process(*static_cast<Connection*>(connection), packet);
  return std::exchange(rcon.local_replies, {});
}

std::vector<HostText> RunRconCommand(const HostText& command) {
  Rcon& rcon = TheRcon();
  if (rcon.own == nullptr) {
    // The server's own connection authenticates as a client does, through the hooks. Without
    // an admin password the server has no RCON, and its own connection makes one up.
    rcon.own = static_cast<Connection*>(OpenRconConnection(kOwnPeer));
    if (rcon.own->server_password.IsEmpty()) {
      rcon.own->server_password = FString(HOST_TEXT("stand-in"));
    }
    (void)SendRconPacket(rcon.own, kRconAuth, HostText(*rcon.own->server_password));
  }
  std::vector<HostText> texts;
  for (RconReply& reply : SendRconPacket(rcon.own, kRconExecCommand, command)) {
    texts.push_back(std::move(reply.text));
  }
  return texts;
}

}  // namespace sim
