// The RCON handler. An RCON client is named in audit lines by a number the plugin gives each
// connection when it audits its first command, counted from 1 since the plugin started, with the
// description of the connection's socket when it has one. The framework's headers give a
// connection no remote address: its socket's description is all they offer of where a client
// is, and it reads as the engine wrote it, which on the stand-in server is the client's
// address. The number tells the commands of one connection from another's even when two clients
// share an address. A connection is known by its address in memory, which the game may reuse
// for a later connection: a connection authenticates before its first command, so an
// authentication packet of a connection not yet authenticated makes it a new client.
//
// What is audited: every command packet of an authenticated connection. The framework also
// runs a registered RCON command (its own plugins.load, plugins.unload and map.setserverid, this
// plugin's quillmark.reload, other plugins') for a packet of any other type of an authenticated
// connection whose first word names one, and the game never sees it; so such a packet is written
// down too, with its type, unless its text is blank or it is the connection authenticating again
// with the server's password. The text of an authentication packet is a password, right or
// wrong, as often as it is a command: none of it is shown but its first word when that names a
// command the plugin knows the framework runs, the rest written "***"; other plugins' commands
// cannot be known, and such a packet is written "***". Nothing of a connection not authenticated
// is written down: its authentication packets carry a password, right or wrong.
#include "plugin/rcon_handler.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>

#include "audit/audit_settings.h"
#include "audit/audit_text.h"
#include "audit/command_account.h"
#include "audit/server_label.h"
#include "audit/server_password.h"
#include "base/logger.h"
#include "host/host_fields.h"
#include "host/host_text.h"
#include "host/libraries.h"
#include "host/module_pin.h"
#include "journal/journal.h"
#include "notify/discord.h"
#include "notify/markdown.h"
#include "plugin/command_handler.h"
#include "plugin/configuration.h"
#include "plugin/reload.h"
#include "plugin/shown_field.h"

namespace quillmark {

RconPacketFn SavedRconPacket = nullptr;

namespace {

// Connections remembered at most; past it, the oldest numbers are forgotten all at once and the
// connections still open get new ones at their next command. A server has a handful of RCON
// clients; this bounds what a client that reconnects without end can make the plugin keep.
constexpr std::size_t kMaxClients = 4096;

constexpr std::string_view kNotAudited = "An RCON command was not audited after an error";

struct Clients {
  std::unordered_map<const void*, std::string> shown;  // connection -> "#3 (127.0.0.1:50412)"
  std::uint64_t next = 1;
};

Clients& TheClients() {
  static Clients clients;
  return clients;
}

bool IsAuthenticated(const RCONClientConnection* connection) {
  static const std::uint64_t offset =
      FieldOffset(connection, "RCONClientConnection.IsAuthenticated");
  return Field<unsigned char>(connection, offset) != 0;
}

// The description of the connection's socket (UTF-8), or nothing when it has no socket.
std::string SocketDescription(const RCONClientConnection* connection) {
  static const std::uint64_t socket_offset = FieldOffset(connection, "RCONClientConnection.Socket");
  const auto* socket = Field<const void*>(connection, socket_offset);
  if (socket == nullptr) return {};
  static const std::uint64_t description_offset = FieldOffset(socket, "FSocket.SocketDescription");
  return FStringToUtf8(StringField(socket, description_offset));
}

// The password the connection authenticated with, which no line or embed may show.
std::string ServerPassword(const RCONClientConnection* connection) {
  static const std::uint64_t offset =
      FieldOffset(connection, "RCONClientConnection.ServerPassword");
  return FStringToUtf8(StringField(connection, offset));
}

// How the audit names the client behind `connection`, numbered on first sight.
const std::string& ClientName(const RCONClientConnection* connection) {
  Clients& clients = TheClients();
  if (const auto it = clients.shown.find(connection); it != clients.shown.end()) return it->second;
  if (clients.shown.size() >= kMaxClients) clients.shown.clear();
  const std::string escaped = EscapeForDisplay(SocketDescription(connection));
  const ShownField description(escaped, kMaxField);
  std::string name = fmt::format("#{}", clients.next++);
  if (description.characters > 0) name.append(" (").append(description.text).append(")");
  return clients.shown.emplace(connection, std::move(name)).first->second;
}

// The embed's description: "[<label>]\nRCON client: <client>\n<what>: <command>\n", where
// <what> is "Executed" for a command packet, the label and the client cut as a player's fields
// are, the command to what they leave; every text escaped for Discord's markdown, and counted
// escaped. The client takes its share of the queue as a player does. `mentions`: the alerts'
// (see AlertMentions) that ping for it.
void Notify(const NotifySettings& settings, std::string_view label, std::string_view client,
            std::string_view what, std::string_view command, std::vector<std::string> mentions) {
  const std::string who = std::string("RCON client ").append(ShownField(client, kMaxField).text);
  const MarkdownField shown_client(client, kMaxField);
  const std::string shown_who = std::string("RCON client ").append(shown_client.text);
  if (!AdmitNotification(settings, who, shown_who, !mentions.empty())) return;
  constexpr std::string_view kClientText = "]\nRCON client: ";
  const std::string what_text = fmt::format("\n{}: ", what);
  const MarkdownField shown_label(label, kMaxField);
  const std::size_t fixed = 1 + kClientText.size() + what_text.size() + 1;
  const std::size_t others = fixed + shown_label.characters + shown_client.characters;
  const MarkdownField shown_command(command, kMaxDescription - others);
  std::string text;
  text.reserve(fixed + shown_label.text.size() + shown_client.text.size() +
               shown_command.text.size());
  text.append("[").append(shown_label.text).append(kClientText).append(shown_client.text);
  text.append(what_text).append(shown_command.text).append("\n");
  PostToDiscord(settings, std::move(text), Notice::kRcon, who, who, shown_who, std::move(mentions));
}

constexpr char kBlanks[] = " \t\r\n";

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(kBlanks) == std::string::npos;
}

// The RCON commands the framework runs, whose names the plugin knows: the framework's own and
// this plugin's.
constexpr std::string_view kKnownRconCommands[] = {kReloadCommand, "plugins.load", "plugins.unload",
                                                   "map.setserverid"};

bool IsKnownRconCommand(std::string_view word) {
  const std::string lower = Lower(word);
  return std::find(std::begin(kKnownRconCommands), std::end(kKnownRconCommands), lower) !=
         std::end(kKnownRconCommands);
}

// What is shown of the text of an authentication packet: the command the framework runs for it,
// found as it finds one (the first word when split at spaces, ASCII letter case ignored), with
// " ***" for whatever follows it; "***" for any other text.
std::string ShownAuthentication(const std::string& body) {
  const std::size_t begin = body.find_first_not_of(' ');
  const std::size_t end = std::min(body.find(' ', begin), body.size());
  const std::string_view word = std::string_view(body).substr(begin, end - begin);
  if (!IsKnownRconCommand(word)) return "***";
  std::string shown(word);
  if (body.find_first_not_of(kBlanks, end) != std::string::npos) shown += " ***";
  return shown;
}

void AuditPacket(const RCONClientConnection* connection, const RCONPacket& packet) {
  const bool authenticated = IsAuthenticated(connection);
  if (!authenticated) {
    if (packet.Type == kRconAuth) {
      TheClients().shown.erase(connection);            // a new client
      NoteServerPassword(ServerPassword(connection));  // which console commands may hold too
    }
    return;
  }
  const Configuration& configuration = CurrentConfiguration();
  if (!configuration.audit.audit_rcon) return;
  std::string body = FStringToUtf8(packet.Body);
  const std::string password = ServerPassword(connection);
  NoteServerPassword(password);
  if (packet.Type != kRconExecCommand) {
    if (IsBlank(body) || (packet.Type == kRconAuth && body == password)) return;
    if (packet.Type == kRconAuth) body = ShownAuthentication(body);
  }
  // The alerts match the command before any secret is hidden; an RCON command is never blocked.
  std::vector<std::string> mentions = configuration.notify.webhook.empty()
                                          ? std::vector<std::string>()
                                          : AlertMentions(configuration.notify.alerts, body, false);
  CommandAccount account;
  account.source = CommandSource::kRcon;
  account.command = HideSecrets(body, ServerPasswords());
  account.client = ClientName(connection);
  account.packet_type = packet.Type == kRconExecCommand ? -1 : packet.Type;
  const std::string command = EscapeForDisplay(account.command);
  const std::string& client = account.client;
  const std::string& label = ShownServerLabel();
  if (packet.Type == kRconExecCommand) {
    LogInfo(fmt::format("RCON client {} executed {} on {}", client, command, label));
    JournalCommand(account);
    Notify(configuration.notify, label, client, "Executed", command, std::move(mentions));
    return;
  }
  LogInfo(fmt::format("RCON client {} sent {} as a packet of type {} on {}", client, command,
                      packet.Type, label));
  JournalCommand(account);
  Notify(configuration.notify, label, client, fmt::format("Sent as type {}", packet.Type), command,
         std::move(mentions));
}

}  // namespace

void RconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) {
  const host::CodeOnStack running;  // the call below may unload the plugin
  if (HandlersPassThrough) {
    SavedRconPacket(connection, packet, world);
    return;
  }
  try {
    AuditPacket(connection, *packet);
  } catch (const std::exception& e) {
    LogFailure(kNotAudited, e.what());
  } catch (...) {
    LogFailure(kNotAudited, "unknown error");
  }
  SavedRconPacket(connection, packet, world);
}

void ForgetRconClients() { TheClients() = Clients{}; }

}  // namespace quillmark
