#!/usr/bin/env python3
"""A faulty Telnet COM-PORT server in front of a module's device, for the
tests and by hand: it relays the module's bytes as a device server does, with
the faults its arguments ask for. Prints its loopback port, serves one
connection, then ends.

    faulty_telnet.py DEVICE [--keep-speed BAUD] [--contradict BAUD [--delay S]]
        [--binary-off S] [--split] [--sub-inject TEXT] [--keepalive-only]
        [--drop-at connect|opening|settings|open] [--burst MB]

--keep-speed     answers every speed asked with BAUD
--contradict     answers the speed as asked, then (S seconds later) with BAUD
--binary-off     S seconds after the line is agreed, stops binary transmission
--split          sends its Telnet byte by byte, one segment each
--sub-inject     puts IAC NOP and TEXT inside a notice before each piece of
                 the module's bytes (TEXT with Python's escapes: \\r, \\x20)
--keepalive-only never negotiates: sends IAC NOP every 200 ms
--drop-at        closes the connection at once, after its opening, after the
                 first setting's answer, or once every setting is answered
--burst          once the line is agreed, sends MB megabytes of 'U'
"""
import argparse
import os
import select
import socket
import termios
import time
import tty

IAC, SE, NOP, SB, WILL, WONT, DO, DONT = 255, 240, 241, 250, 251, 252, 253, 254
BINARY, COM_PORT, SET_BAUDRATE, SET_CONTROL, SERVER, NOTIFY_MODEMSTATE = 0, 44, 1, 5, 100, 107

ap = argparse.ArgumentParser()
ap.add_argument("device")
ap.add_argument("--keep-speed", type=int)
ap.add_argument("--contradict", type=int)
ap.add_argument("--delay", type=float, default=0)
ap.add_argument("--binary-off", type=float)
ap.add_argument("--split", action="store_true")
ap.add_argument("--sub-inject")
ap.add_argument("--keepalive-only", action="store_true")
ap.add_argument("--drop-at", choices=["connect", "opening", "settings", "open"])
ap.add_argument("--burst", type=int, default=0)
args = ap.parse_args()

server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(1)
print(server.getsockname()[1], flush=True)
server.settimeout(20)
conn, _ = server.accept()
conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
dev = os.open(args.device, os.O_RDWR | os.O_NOCTTY)
tty.setraw(dev)
later = []  # (when, bytes)


def send(data):
    if not args.split:
        return conn.sendall(data)
    for b in data:
        conn.sendall(bytes([b]))
        time.sleep(0.002)


def telnet(*parts):
    send(bytes(parts))


def drop(phase):
    if args.drop_at == phase:
        conn.close()
        raise SystemExit(0)


def answer(command, value):
    send(bytes([IAC, SB, COM_PORT, command + SERVER]) + value.replace(b"\xff", b"\xff\xff") + bytes([IAC, SE]))


drop("connect")
if not args.keepalive_only:
    telnet(IAC, DO, COM_PORT, IAC, WILL, BINARY, IAC, DO, BINARY)
drop("opening")

state, sub, answered, agreed_at = "data", b"", 0, None
last_nop = 0
while True:
    now = time.monotonic()
    if args.keepalive_only and now - last_nop > 0.2:
        telnet(IAC, NOP)
        last_nop = now
    for item in [x for x in later if x[0] <= now]:
        later.remove(item)
        send(item[1])
    ready, _, _ = select.select([conn, dev], [], [], 0.05)
    if dev in ready:
        data = os.read(dev, 4096)
        if args.sub_inject:
            text = args.sub_inject.encode("latin-1").decode("unicode_escape").encode("latin-1")
            send(bytes([IAC, SB, COM_PORT, NOTIFY_MODEMSTATE, IAC, NOP]) + text + bytes([IAC, SE]))
        send(data.replace(b"\xff", b"\xff\xff"))
    if conn not in ready:
        continue
    got = conn.recv(65536)
    if not got:
        break
    out = b""
    for b in got:  # the client's Telnet taken out, its data to the module
        if state == "data":
            state = "iac" if b == IAC else state
            out += b"" if b == IAC else bytes([b])
        elif state == "iac":
            state, sub = {IAC: "data", SB: "sub"}.get(b, "verb" if b >= WILL else "data"), b""
            out += bytes([b]) if b == IAC else b""
        elif state == "verb":
            state = "data"
        elif state == "sub":
            state = "subiac" if b == IAC else state
            sub += b"" if b == IAC else bytes([b])
        elif state == "subiac":
            if b != SE:
                sub += bytes([b])
                state = "sub"
                continue
            state = "data"
            if len(sub) < 2 or sub[0] != COM_PORT:
                continue
            command, value = sub[1], sub[2:]
            if command == SET_BAUDRATE and args.keep_speed:
                value = args.keep_speed.to_bytes(4, "big")
            answer(command, value)
            answered += 1
            if answered == 1:
                drop("settings")
            if command == SET_BAUDRATE and args.contradict:
                contra = bytes([IAC, SB, COM_PORT, command + SERVER]) + args.contradict.to_bytes(4, "big") + bytes([IAC, SE])
                if args.delay:
                    later.append((time.monotonic() + args.delay, contra))
                else:
                    send(contra)
            if command == SET_CONTROL:
                drop("open")
                if args.binary_off is not None:
                    later.append((time.monotonic() + args.binary_off, bytes([IAC, WONT, BINARY])))
                if args.burst:
                    chunk = b"U" * (1 << 20)
                    for _ in range(args.burst):
                        conn.sendall(chunk)
    if out:
        os.write(dev, out)
