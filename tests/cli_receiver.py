# Stands in for the module on a pseudo-terminal of its own for dudaze-cli:
# prints the device path, answers each command line with a value until
# "RECV FW" or "RECV DATA", receives one XMODEM-1K CRC upload with
# python3-xmodem into OUT, drops the sender's second EOT, prints its farewell
# 200 ms after the ACK of the EOT, a read of its own, with the prompt where the
# module puts it (firmware: at 2, data: at 33 of that read) and saves what
# follows into OUT.after, until the line has been quiet for 3 s (it answers
# no query after the upload, which costs the program the answer limit).
# Usage: cli_receiver.py OUT
import logging
import os
import pty
import select
import sys
import termios
import time
import tty

from xmodem import XMODEM

logging.disable(logging.CRITICAL)


class Line:
    def __init__(self):
        self.fd, far = pty.openpty()
        for end in (self.fd, far):
            tty.setraw(end, termios.TCSANOW)
        self.name = os.ttyname(far)

    def read(self, count, timeout=1):
        got = bytearray()
        while len(got) < count and select.select([self.fd], [], [], timeout)[0]:
            got += os.read(self.fd, count - len(got))
        return bytes(got) or None

    def write(self, data, timeout=1):
        return os.write(self.fd, data)

    def drain(self, quiet):
        rest = b''
        while True:
            more = self.read(1, quiet)
            if not more:
                return rest
            rest += more


line = Line()
print(line.name, flush=True)
# What a module owes for each query, so that the program need not wait out
# the answer limit; others get a value line all the same.
answers = {b'VER FULL\r\n': b'Firmware Vers: PY\r\nPL Vers: PY\r\nSN: PY\r\n', b'DACINFO\r\n': b'DAC: 12.5\r\n'}
command = b''
while command not in (b'RECV FW', b'RECV DATA'):
    if command.endswith(b'\r\n'):
        line.write(answers.get(command, b'MT: 20.0\r\n'))
        command = b''
    more = line.read(1, 30)
    if not more:
        sys.exit('no RECV')
    command = (command + more).replace(b'RECV FW\r\n', b'RECV FW').replace(b'RECV DATA\r\n', b'RECV DATA')
with open(sys.argv[1], 'wb') as out:
    got = XMODEM(line.read, line.write).recv(out, crc_mode=1, timeout=10)
time.sleep(0.2)
line.drain(0.1)
line.write(b'\r\nreceived' + b'.' * 23 + b'>' if command == b'RECV DATA' else b'\r\n>')
with open(sys.argv[1] + '.after', 'wb') as out:
    out.write(line.drain(3))
sys.exit(0 if got else 'receive failed')
