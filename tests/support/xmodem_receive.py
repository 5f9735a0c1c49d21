# Stands in for the module on a pseudo-terminal of its own: prints the device
# path, waits for "RECV FW", receives one XMODEM-1K CRC upload with
# python3-xmodem into OUT, drops the sender's second EOT and prints a prompt.
# Usage: xmodem_receive.py OUT
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


seen = b''
while b'RECV FW\r\n' not in seen:
    more = getc(1, 30)
    if not more:
        sys.exit('no RECV FW')
    seen += more
with open(sys.argv[1], 'wb') as out:
    got = XMODEM(getc, putc).recv(out, crc_mode=1, timeout=10)
time.sleep(0.2)
while getc(1, 0.1):
    pass
os.write(master, b'\r\n>')
time.sleep(0.5)
sys.exit(0 if got else 'receive failed')
