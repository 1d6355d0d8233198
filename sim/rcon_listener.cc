// The RCON listener's network thread and the Source RCON framing.
#include "sim/rcon_listener.h"

#include <utility>

namespace sim {
namespace {

// Clients served at once; another one is accepted and closed at once.
constexpr std::size_t kMaxClients = 32;
// Packets waiting for the game thread; past it clients are not read until it catches up.
constexpr std::size_t kMaxWaitingEvents = 1024;
// Answers waiting to be written to one client that does not read them; past it, it is closed.
constexpr std::size_t kMaxUnsent = std::size_t{1} << 20;
// How long the network thread waits for the network before it looks for answers to send.
constexpr int kPollMilliseconds = 5;

std::int32_t ReadInt(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return static_cast<std::int32_t>(value);
}

void WriteInt(std::string& bytes, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

}  // namespace

Cut CutPacket(std::string& bytes, WirePacket& packet, std::string& why) {
  if (bytes.size() < 4) return Cut::kNeedMore;
  const std::int32_t size = ReadInt(bytes, 0);
  if (size < 10 || size > kMaxRconPacketSize) {
    why = "a packet of size " + std::to_string(size) + ", outside the 10 to " +
          std::to_string(kMaxRconPacketSize) + " that Source RCON allows";
    return Cut::kMalformed;
  }
  const auto end = static_cast<std::size_t>(size) + 4;
  if (bytes.size() < end) return Cut::kNeedMore;
  if (bytes[end - 2] != 0 || bytes[end - 1] != 0) {
    why = "a packet that does not end in two zero bytes";
    return Cut::kMalformed;
  }
  packet.size = size;
  packet.id = ReadInt(bytes, 4);
  packet.type = ReadInt(bytes, 8);
  packet.body.assign(bytes, 12, static_cast<std::size_t>(size) - 10);
  if (const auto zero = packet.body.find('\0'); zero != std::string::npos) packet.body.resize(zero);
  bytes.erase(0, end);
  return Cut::kPacket;
}

std::string WritePacket(std::int32_t id, std::int32_t type, const std::string& body) {
  std::string bytes;
  bytes.reserve(body.size() + 14);
  WriteInt(bytes, static_cast<std::int32_t>(body.size() + 10));
  WriteInt(bytes, id);
  WriteInt(bytes, type);
  bytes += body;
  bytes.append(2, '\0');
  return bytes;
}

struct RconListener::Client {
  std::uint64_t number = 0;
  net::Socket socket = net::kNoSocket;
  std::string peer;
  std::string received;  // bytes not yet cut into packets
  std::string unsent;
  bool gone = false;
};

RconListener::RconListener() = default;
RconListener::~RconListener() { Stop(); }

std::uint16_t RconListener::Start(std::uint16_t port, std::string& error) {
  if (thread_.joinable()) {
    error = "RCON is already listening";
    return 0;
  }
  if (!net::Startup(error)) return 0;
  std::uint16_t bound = 0;
  listener_ = net::Listen(port, bound, error);
  if (listener_ == net::kNoSocket) return 0;
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
  Note("listening on 127.0.0.1:" + std::to_string(bound));
  return bound;
}

void RconListener::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  thread_.join();
  for (auto& [number, client] : clients_) net::Close(client->socket);
  clients_.clear();
  net::Close(listener_);
  listener_ = net::kNoSocket;
  std::lock_guard lock(mutex_);
  events_.clear();
  outgoing_.clear();
}

std::vector<RconEvent> RconListener::Take(std::size_t count) {
  std::lock_guard lock(mutex_);
  std::vector<RconEvent> taken;
  while (!events_.empty() && taken.size() < count) {
    taken.push_back(std::move(events_.front()));
    events_.pop_front();
  }
  return taken;
}

void RconListener::Send(std::uint64_t client, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  outgoing_[client] += bytes;
}

std::vector<std::string> RconListener::TakeNotes() {
  std::lock_guard lock(mutex_);
  return std::exchange(notes_, {});
}

void RconListener::Note(std::string note) {
  std::lock_guard lock(mutex_);
  notes_.push_back(std::move(note));
}

void RconListener::Run() {
  std::vector<net::PollEntry> entries;
  std::vector<Client*> polled;  // the client of each entry after the listener's
  for (;;) {
    bool read_clients = true;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (auto& [number, bytes] : outgoing_) {
        const auto it = clients_.find(number);
        if (it != clients_.end()) it->second->unsent += bytes;
      }
      outgoing_.clear();
      read_clients = events_.size() < kMaxWaitingEvents;
    }
    entries.assign(1, {listener_, true, false});
    polled.clear();
    for (auto& [number, client] : clients_) {
      if (client->unsent.size() > kMaxUnsent) {
        Drop(*client, "closed: it does not read its answers");
        continue;
      }
      entries.push_back({client->socket, read_clients, !client->unsent.empty()});
      polled.push_back(client.get());
    }
    net::Poll(entries, kPollMilliseconds);
    for (std::size_t i = 0; i < polled.size(); ++i) {
      const net::PollEntry& entry = entries[i + 1];
      if (entry.readable || entry.broken) Read(*polled[i]);
      if (entry.writable && !polled[i]->gone) Write(*polled[i]);
    }
    std::erase_if(clients_, [](const auto& entry) { return entry.second->gone; });
    if (entries[0].readable) Accept();
  }
}

void RconListener::Accept() {
  for (;;) {
    std::string peer;
    const net::Socket socket = net::Accept(listener_, peer);
    if (socket == net::kNoSocket) return;
    if (clients_.size() >= kMaxClients) {
      net::Close(socket);
      Note("client " + peer + " refused: " + std::to_string(kMaxClients) +
           " clients are connected");
      continue;
    }
    auto client = std::make_unique<Client>();
    client->number = next_client_++;
    client->socket = socket;
    client->peer = peer;
    {
      std::lock_guard lock(mutex_);
      RconEvent opened;
      opened.client = client->number;
      opened.peer = peer;
      events_.push_back(std::move(opened));
    }
    Note("client " + peer + " connected");
    clients_[client->number] = std::move(client);
  }
}

void RconListener::Read(Client& client) {
  char chunk[16384];
  for (;;) {
    std::size_t count = 0;
    const net::Io io = net::Receive(client.socket, chunk, sizeof chunk, count);
    if (io == net::Io::kWouldBlock) return;
    if (io == net::Io::kClosed || io == net::Io::kFailed) {
      Drop(client, "disconnected");
      return;
    }
    client.received.append(chunk, count);
    std::vector<RconEvent> packets;
    WirePacket packet;
    std::string why;
    Cut cut;
    while ((cut = CutPacket(client.received, packet, why)) == Cut::kPacket) {
      RconEvent event;
      event.kind = RconEvent::Kind::kPacket;
      event.client = client.number;
      event.packet = std::move(packet);
      packets.push_back(std::move(event));
    }
    {
      std::lock_guard lock(mutex_);
      for (RconEvent& event : packets) events_.push_back(std::move(event));
    }
    if (cut == Cut::kMalformed) {
      Drop(client, "closed: it sent " + why);
      return;
    }
  }
}

void RconListener::Write(Client& client) {
  while (!client.unsent.empty()) {
    std::size_t count = 0;
    const net::Io io = net::Send(client.socket, client.unsent.data(), client.unsent.size(), count);
    if (io == net::Io::kWouldBlock) return;
    if (io != net::Io::kDone) {
      Drop(client, "disconnected");
      return;
    }
    client.unsent.erase(0, count);
  }
}

void RconListener::Drop(Client& client, const std::string& what_happened) {
  net::Close(client.socket);
  client.gone = true;
  {
    std::lock_guard lock(mutex_);
    RconEvent closed;
    closed.kind = RconEvent::Kind::kClosed;
    closed.client = client.number;
    events_.push_back(std::move(closed));
  }
  Note("client " + client.peer + " " + what_happened);
}

}  // namespace sim
