#!/usr/bin/env python3
"""The simulated module's pace, as its control commands set it, seen from the
tool's side of the line: a pace fault that stops working would leave every
test that relies on it passing without testing anything.

Each row: the control commands, what the tool writes (a command, then good
blocks and an EOT), and what it reads, cut where the module paused at least
the row's pause ('|'; a leading one: the first byte came that late after the
command); or, with a speed, most reads a byte of their own, no faster than
the line.

    python3 tests/sim_pace.py --sim build/sim/module-sim
"""
import argparse
import os
import select
import subprocess
import sys
import tempfile
import time

ACK, CAN = '\x06', '\x18'
ROWS = [
    ('a status answer 1.5 s late', 'reply-delay 1500', 'MT', 0, '|MT: 36.5\r\n', 1500, 0),
    ('the greeting 1.5 s late', 'reply-delay 1500', 'RECV FW', 0, '|C', 1500, 0),
    ('the log late, line by line, the prompt after a pause', 'reply-delay 400;log-lines 300;log-text 613e3e0d0a620d0a',
     'dump logtext', 0, '|a>>\r\n|b\r\n|>', 300, 0),
    ('a stray CAN before block 2\'s ACK: the receive goes on', 'stray 18 2', 'RECV FW', 3,
     'C' + ACK + CAN + ACK + ACK + ACK + '\r\n>', 1000, 0),
    ('a stray NUL at the last block', 'stray 00 1', 'RECV DATA', 1, 'C\0' + ACK + ACK + '\r\nreceived .....................>', 1000, 0),
    ('the farewell 150 ms after the final ACK', 'prompt-delay 150', 'RECV FW', 1, 'C' + ACK + ACK + '|\r\nr>', 150, 0),
    ('9600 baud: byte after byte', 'baud 9600', 'VER FULL', 0, 'Firmware Vers: FW 2.1.0\r\nPL Vers: PL 1.3\r\nSN: WAVE-A1\r\n', 0, 9600),
]


def crc16(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = (crc << 1 ^ 0x1021 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc


def block(number, payload):
    payload = payload.ljust(1024, b'\x1a')
    return bytes([2, number & 0xFF, ~number & 0xFF]) + payload + crc16(payload).to_bytes(2, 'big')


def run_row(sim, folder, row):
    name, control, command, blocks, pieces, pause_ms, baud = row
    link, socket_path = os.path.join(folder, 'module'), os.path.join(folder, 'control')
    proc = subprocess.Popen([sim, '--link', link, '--control', socket_path], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    try:
        said = b''
        while b'module-sim: control' not in said:
            if not select.select([proc.stdout], [], [], 10)[0]:
                return 'module-sim did not start'
            said += os.read(proc.stdout.fileno(), 4096)
        import socket
        ctl = socket.socket(socket.AF_UNIX)
        ctl.settimeout(10)
        ctl.connect(socket_path)
        for line in control.split(';'):
            ctl.sendall(line.encode() + b'\n')
            answer = ctl.recv(4096)
            if not answer.startswith(b'ok'):
                return '%s: %r' % (line, answer)
        fd = os.open(link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        out = command.encode() + b'\r\n'
        out += b''.join(block(b, bytes((b * 7 + i) & 0xFF for i in range(1024))) for b in range(1, blocks + 1))
        out += b'\x04' if blocks else b''
        expected = pieces.encode('latin-1')
        want = len(expected) - expected.count(b'|')
        reads, got = [(0.0, b'')], b''
        start = time.monotonic()
        os.write(fd, out)
        while len(got) < want and time.monotonic() - start < 5:
            if select.select([fd], [], [], 0.05)[0]:
                chunk = os.read(fd, 4096)
                reads.append(((time.monotonic() - start) * 1000, chunk))
                got += chunk
        os.close(fd)
        if got != expected.replace(b'|', b''):
            return 'read %r' % got
        cut, single = b'', 0
        for (t0, _), (t1, chunk) in zip(reads, reads[1:]):
            cut += b'|' if pause_ms and t1 - t0 >= pause_ms * 0.9 else b''
            cut += chunk
            single += len(chunk) == 1
        if baud:
            span = reads[-1][0] - reads[1][0]
            if not (single * 2 > len(reads) - 1 and span >= (len(got) - 1) * 10000 / baud * 0.9):
                return '%d reads, %d of one byte, over %.0f ms' % (len(reads) - 1, single, span)
        elif cut != expected:
            return 'read as %r' % cut
        ctl.sendall(b'last-upload\n')
        complete = ctl.recv(4096).split()[2:3] == [b'1']
        return None if complete == (blocks > 0) else 'the upload %s' % ('incomplete' if blocks else 'stored')
    finally:
        proc.kill()
        proc.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--sim', required=True)
    args = parser.parse_args()
    failed = 0
    for row in ROWS:
        with tempfile.TemporaryDirectory(prefix='sim-pace-') as folder:
            why = run_row(args.sim, folder, row)
        print('%s: %s' % (row[0], why or 'ok'))
        failed += why is not None
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
