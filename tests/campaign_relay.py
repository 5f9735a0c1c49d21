#!/usr/bin/env python3
"""A faulty network server in front of one module, for the command line's
fault campaign: it relays between TCP clients on a loopback port and the
module's device, raw (socket://) or with Telnet and its COM-PORT option
(rfc2217://), and misbehaves as the seed says.

    campaign_relay.py --device PATH --mode raw|telnet --seed N [--faults LIST]

It prints its port, then serves connections one after the other until it is
ended. --faults (comma-separated, default: drawn from the seed):
  split       every byte to the client in a send of its own
  burst       the module's bytes held back 100-600 ms, then sent at once
  nop         IAC NOP keep-alives every 50-400 ms (telnet)
  sb-iac      an IAC command inside every COM-PORT answer (telnet)
  contradict  every speed answered as asked, then at once as 9600 (telnet)
  drop        the connection dropped after 1-3000 bytes from the module
  flood       MEGS of noise to the client at its connection (flood=MEGS)
Each connection reopens the device, so a client that drops and comes back
reaches the same module.
"""
import argparse
import os
import random
import select
import socket
import sys
import termios
import time

IAC, SE, NOP, SB, WILL, WONT, DO, DONT = 255, 240, 241, 250, 251, 252, 253, 254
COM_PORT, SET_BAUDRATE, SERVER = 44, 1, 100


def draw_faults(rng, mode):
    pool = ['split', 'burst', 'drop', 'flood=%d' % rng.choice([8, 40])]
    if mode == 'telnet':
        pool += ['nop', 'sb-iac', 'contradict']
    return [rng.choice(pool)] + ([rng.choice(pool)] if rng.random() < 0.3 else [])


class Telnet:
    """The server's side of the client's Telnet stream: data bytes out of it,
    answers to its negotiation and COM-PORT requests back."""

    def __init__(self, faults, send):
        self.faults, self.send = faults, send
        self.state, self.sb = 'data', bytearray()

    def feed(self, chunk):
        data = bytearray()
        for b in chunk:
            if self.state == 'data':
                if b == IAC:
                    self.state = 'iac'
                else:
                    data.append(b)
            elif self.state == 'iac':
                self.state = 'data'
                if b == IAC:
                    data.append(IAC)
                elif b in (WILL, WONT, DO, DONT):
                    self.state = ('opt', b)
                elif b == SB:
                    self.state, self.sb = 'sb', bytearray()
            elif isinstance(self.state, tuple):
                verb, self.state = self.state[1], 'data'
                if verb == WILL and b in (COM_PORT, 0, 3):
                    self.send(bytes([IAC, DO, b]))
                elif verb == DO and b in (0, 3):
                    self.send(bytes([IAC, WILL, b]))
                elif verb in (WILL, DO):
                    self.send(bytes([IAC, DONT if verb == WILL else WONT, b]))
            elif self.state == 'sb':
                if b == IAC:
                    self.state = 'sb-iac'
                else:
                    self.sb.append(b)
            elif self.state == 'sb-iac':
                if b == SE:
                    self.state = 'data'
                    self.answer(bytes(self.sb))
                else:
                    self.sb.append(b)
                    self.state = 'sb'
        return bytes(data)

    def answer(self, sb):
        if len(sb) < 2 or sb[0] != COM_PORT:
            return
        command, value = sb[1], sb[2:]
        esc = lambda v: v.replace(b'\xff', b'\xff\xff')
        inner = bytes([IAC, NOP]) if 'sb-iac' in self.faults else b''
        self.send(bytes([IAC, SB, COM_PORT, command + SERVER]) + inner + esc(value) + bytes([IAC, SE]))
        if command == SET_BAUDRATE and 'contradict' in self.faults and value != (9600).to_bytes(4, 'big'):
            self.send(bytes([IAC, SB, COM_PORT, command + SERVER]) + esc((9600).to_bytes(4, 'big')) + bytes([IAC, SE]))


def serve(conn, device, faults, rng, mode):
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    attrs = termios.tcgetattr(fd)
    attrs[0] = attrs[1] = attrs[3] = 0  # raw: no echo, no line editing, no translation
    attrs[2] |= termios.CLOCAL | termios.CREAD
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    telnet = Telnet(faults, lambda b: conn.sendall(b)) if mode == 'telnet' else None
    if telnet:
        conn.sendall(bytes([IAC, DO, COM_PORT, IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3]))
    flood = [int(f.split('=')[1]) for f in faults if f.startswith('flood=')]
    if flood:
        noise = bytes(rng.getrandbits(8) for _ in range(4096)).replace(b'\xff', b'\x00')
        for _ in range(flood[0] * 256):
            conn.sendall(noise)
    drop_after = rng.randint(1, 3000) if 'drop' in faults else None
    to_client, held_since, sent = b'', None, 0
    next_nop = time.monotonic() + rng.uniform(0.05, 0.4)
    try:
        while True:
            timeout = 0.05
            ready = select.select([conn, fd], [], [], timeout)[0]
            if conn in ready:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                data = telnet.feed(chunk) if telnet else chunk
                while data:
                    try:
                        data = data[os.write(fd, data):]
                    except BlockingIOError:
                        time.sleep(0.002)
            if fd in ready:
                try:
                    chunk = os.read(fd, 65536)
                except OSError:
                    return  # the module hung up
                if not chunk:
                    return
                if telnet:
                    chunk = chunk.replace(b'\xff', b'\xff\xff')
                to_client += chunk
                if held_since is None:
                    held_since = time.monotonic()
            now = time.monotonic()
            if to_client and ('burst' not in faults or now - held_since > rng.uniform(0.1, 0.6)):
                pieces = [to_client[i:i + 1] for i in range(len(to_client))] if 'split' in faults else [to_client]
                for piece in pieces:
                    conn.sendall(piece)
                    sent += len(piece)
                    if drop_after is not None and sent >= drop_after:
                        return
                to_client, held_since = b'', None
            if telnet and 'nop' in faults and now >= next_nop:
                conn.sendall(bytes([IAC, NOP]))
                next_nop = now + rng.uniform(0.05, 0.4)
    except (BrokenPipeError, ConnectionResetError):
        return
    finally:
        os.close(fd)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--device', required=True)
    parser.add_argument('--mode', choices=['raw', 'telnet'], default='raw')
    parser.add_argument('--seed', type=int, default=0)
    parser.add_argument('--faults', help='comma-separated; none: drawn from the seed')
    args = parser.parse_args()
    rng = random.Random(args.seed)
    faults = args.faults.split(',') if args.faults is not None else draw_faults(rng, args.mode)
    faults = [f for f in faults if f]
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', 0))
    server.listen(4)
    print(server.getsockname()[1], ' '.join(faults) or 'none', flush=True)
    while True:
        conn, _ = server.accept()
        with conn:
            serve(conn, args.device, faults, rng, args.mode)


if __name__ == '__main__':
    sys.exit(main())
