"""RCON clients of the stand-in server's listener, made with Debian's python3-rcon (its Source
RCON client and its packets), for the end-to-end tests: a command before authentication, an
empty command, a packet split across TCP segments, the largest body and one byte more, packets
malformed in their size and in their end, and a client that goes on while another one is
closed. Prints one line per client, saying what it saw.

    rcon_client.py <port> <password>
"""
import socket
import sys
import time

from rcon.exceptions import EmptyResponse
from rcon.source import Client
from rcon.source.proto import LittleEndianSignedInt32, Packet

HOST = "127.0.0.1"


def logged_in(port, password):
    client = Client(HOST, port, timeout=5)
    client.connect()
    client.login(password)
    client._socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return client


def closed(client):
    """Whether the server closed the connection: reading finds its end."""
    try:
        client.read()
    except (EmptyResponse, ConnectionError):
        return "closed"
    return "still open"


def main():
    port, password = int(sys.argv[1]), sys.argv[2]

    with Client(HOST, port, timeout=1) as client:
        try:
            client.run("DestroyWildDinos")
            print("before authentication: answered")
        except (socket.timeout, TimeoutError):
            print("before authentication: no answer")

    with logged_in(port, password) as client:
        print("empty command:", client.run(""))

    with logged_in(port, password) as client:
        whole = bytes(Packet.make_command("ServerChat", "split"))
        for piece in (whole[:3], whole[3:9], whole[9:]):
            client._socket.sendall(piece)
            time.sleep(0.2)
        print("split packet:", client.read().payload.decode())

    with logged_in(port, password) as client:
        print("largest body:", client.run("Broadcast", "z" * 4086))
        client.send(Packet.make_command("x" * 4097))
        print("oversized packet:", closed(client))

    with logged_in(port, password) as client:
        client._socket.sendall(bytes(LittleEndianSignedInt32(4)) + b"\x00" * 8)
        print("packet too small:", closed(client))

    with logged_in(port, password) as client:
        client.send(Packet(LittleEndianSignedInt32(7), Packet.make_command("").type, b"say", b"!!"))
        print("packet without its end:", closed(client))

    with logged_in(port, password) as staying, logged_in(port, password) as leaving:
        leaving.send(Packet.make_command("y" * 5000))
        print("another client:", closed(leaving), "/", staying.run("ListPlayers"))


if __name__ == "__main__":
    main()
