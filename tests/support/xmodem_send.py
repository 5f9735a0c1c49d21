# Sends a file to DEVICE with python3-xmodem (an XMODEM-1K sender written apart
# from this project) after the command line COMMAND; prints SENT or FAILED.
# Usage: xmodem_send.py DEVICE FILE COMMAND
import logging
import os
import select
import sys
import tty

from xmodem import XMODEM

logging.disable(logging.CRITICAL)
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
tty.setraw(fd)


def getc(size, timeout=1):
    data = b''
    while len(data) < size:
        ready, _, _ = select.select([fd], [], [], timeout)
        if not ready:
            return data or None
        data += os.read(fd, size - len(data))
    return data


def putc(data, timeout=1):
    return os.write(fd, data)


os.write(fd, sys.argv[3].encode() + b'\r\n')
with open(sys.argv[2], 'rb') as f:
    ok = XMODEM(getc, putc, mode='xmodem1k').send(f, retry=8, timeout=2)
print('SENT' if ok else 'FAILED')
