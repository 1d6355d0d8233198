// The RCON handler: put in front of the game's RCON packet handler, it audits every command an
// authenticated RCON client sends (one audit line, one notification) and hands every packet on
// unchanged. RCON commands are never blocked: whoever holds the RCON password is the server's
// administrator.
#pragma once

#include "host/host.h"

namespace quillmark {

// The game function the handler is put in front of.
inline constexpr char kRconPacketHook[] =
    "RCONClientConnection.ProcessRCONPacket(RCONPacket&,UWorld*)";

// The entry the handler calls on, stored by the host when the handler is installed.
extern RconPacketFn SavedRconPacket;

// The detour. Called by the game on its thread for every packet of every RCON client, before the
// framework runs its RCON commands. Audits a command packet (kRconExecCommand) of an
// authenticated connection, when config.json audits RCON, and a packet of another type with a
// text, which the framework may run as a command; never the text of an authentication packet
// but the name of a command the framework runs for it (see rcon_handler.cc), nor anything from a
// connection not authenticated. The server's passwords are never shown. Then always calls the
// saved entry with the same arguments. Lets no exception out.
void RconHandler(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// Forgets the numbers given to RCON clients, so that a started plugin numbers them from 1 again.
void ForgetRconClients();

}  // namespace quillmark
