# Stands in for the module on a pseudo-terminal of its own for dudaze-cli:
# prints the device path, answers each command line with a value until
# "RECV FW" or "RECV DATA", receives one XMODEM-1K CRC upload with
# python3-xmodem into OUT, drops the sender's second EOT, prints the prompt
# where the module puts it (firmware: at 3, data: at 33, both counted with the
# ACK of the EOT) and saves what follows into OUT.after.
# Usage: cli_receiver.py OUT
import logging
import os
import select
import sys
import time
import tty

from xmodem import XMODEM

logging.disable(logging.CRITICAL)
master, slave = os.openpty()
tty.setraw(master)
tty.setraw(slave)
print(os.ttyname(slave), flush=True)


def getc(size, timeout=1):
    data = b''
    while len(data) < size:
        ready, _, _ = select.select([master], [], [], timeout)
        if not ready:
            return data or None
        data += os.read(master, size - len(data))
    return data


def putc(data, timeout=1):
    return os.write(master, data)


line = b''
while line not in (b'RECV FW', b'RECV DATA'):
    more = getc(1, 30)
    if not more:
        sys.exit('no RECV')
    line += more
    if line.endswith(b'\r\n'):
        line = line[:-2]
        if line not in (b'RECV FW', b'RECV DATA'):
            os.write(master, b'MT: 20.0\r\n')
            line = b''
with open(sys.argv[1], 'wb') as out:
    got = XMODEM(getc, putc).recv(out, crc_mode=1, timeout=10)
time.sleep(0.2)
while getc(1, 0.1):
    pass
os.write(master, b'\r\nreceived' + b'.' * (32 - 10) + b'>' if line == b'RECV DATA' else b'\r\n>')
after = b''
while True:
    more = getc(1, 1)
    if not more:
        break
    after += more
with open(sys.argv[1] + '.after', 'wb') as out:
    out.write(after)
sys.exit(0 if got else 'receive failed')
