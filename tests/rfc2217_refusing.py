#!/usr/bin/env python3
"""A Telnet COM-PORT server that answers every line setting as asked but the
speed, which it keeps at 9600: a device server that cannot do what it is asked.
With the argument "binary" it agrees every setting, and half a second after
the last it stops binary transmission, which garbles a module's bytes.
Prints its loopback port, serves one connection, then ends."""
import socket
import sys
import time

IAC, SE, SB, WILL, WONT, DO = 255, 240, 250, 251, 252, 253
COM_PORT, SET_BAUDRATE, SET_CONTROL, SERVER = 44, 1, 5, 100
STOP_BINARY = sys.argv[1:] == ["binary"]

server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(1)
print(server.getsockname()[1], flush=True)
server.settimeout(20)
conn, _ = server.accept()
conn.sendall(bytes([IAC, DO, COM_PORT, IAC, WILL, 0, IAC, DO, 0]))
got = b""
while True:
    data = conn.recv(4096)
    if not data:
        break
    got += data
    while True:
        start = got.find(bytes([IAC, SB, COM_PORT]))
        end = got.find(bytes([IAC, SE]), start)
        if start < 0 or end < 0:
            break
        command, value = got[start + 3], got[start + 4:end].replace(b"\xff\xff", b"\xff")
        if command == SET_BAUDRATE and not STOP_BINARY:
            value = (9600).to_bytes(4, "big")
        conn.sendall(bytes([IAC, SB, COM_PORT, command + SERVER]) + value.replace(b"\xff", b"\xff\xff") + bytes([IAC, SE]))
        got = got[end + 2:]
        if command == SET_CONTROL and STOP_BINARY:
            time.sleep(0.5)
            conn.sendall(bytes([IAC, WONT, 0]))
