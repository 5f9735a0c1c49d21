#!/usr/bin/env python3
"""Runs dudaze-cli in surroundings other than a watched terminal.

    cli_wrap.py MODE PROGRAM [ARGS...]

closed  standard input, output and error closed, as a supervisor leaves them
gone    standard output into a pipe whose reader has gone
stall   standard output into a pipe that is full and not read for STALL_S
        seconds; then everything is read and passed on
tty     on a terminal of its own, standard input from /dev/null and standard
        error into a file: the password prompt is awaited on the terminal and
        DUDAZE_PASSWORD typed there; the program's output is passed on
latin1  every argument that names a file ending in .bin is renamed to a name
        with a Latin-1 byte, which is no UTF-8, and given as those bytes
        (renamed back once the program has ended)

The exit code is the program's (1 if the prompt never came, with a reason on
standard error).
"""
import fcntl
import os
import pty
import select
import subprocess
import sys
import time

STALL_S = 4
PROMPT = b'Access password: '
F_SETPIPE_SZ = 1031


def closed(program, args):
    for fd in (0, 1, 2):
        os.close(fd)
    os.execv(program, [program] + args)


def gone(program, args):
    read_end, write_end = os.pipe()
    os.close(read_end)
    return subprocess.call([program] + args, stdout=write_end)


def stall(program, args):
    read_end, write_end = os.pipe()
    fcntl.fcntl(write_end, F_SETPIPE_SZ, 4096)
    os.set_blocking(write_end, False)
    filler = 0
    try:
        while True:
            filler += os.write(write_end, b'x' * 512)
    except BlockingIOError:
        pass
    os.set_blocking(write_end, True)
    child = subprocess.Popen([program] + args, stdout=write_end)
    os.close(write_end)
    time.sleep(STALL_S)
    got = b''
    while True:
        chunk = os.read(read_end, 65536)
        if not chunk:
            break
        got += chunk
    sys.stdout.buffer.write(got[filler:])
    return child.wait()


def tty(program, args):
    password = os.environ.pop('DUDAZE_PASSWORD').encode()
    pid, master = pty.fork()
    if pid == 0:
        null = os.open('/dev/null', os.O_RDWR)
        os.dup2(null, 0)
        os.dup2(os.open(os.devnull, os.O_WRONLY), 2)
        os.execv(program, [program] + args)
    seen = b''
    deadline = time.monotonic() + 10
    typed = False
    while True:
        if not typed and time.monotonic() > deadline:
            os.kill(pid, 9)
            sys.stderr.write('cli_wrap: no password prompt on the terminal\n')
            os.waitpid(pid, 0)
            return 1
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        if not typed and seen.endswith(PROMPT):
            os.write(master, password + b'\n')
            typed = True
    _, status = os.waitpid(pid, 0)
    sys.stdout.buffer.write(seen.split(PROMPT, 1)[-1].replace(b'\r\n', b'\n').lstrip(b'\n'))
    return os.waitstatus_to_exitcode(status)


def latin1(program, args):
    raw = []
    for arg in args:
        if arg.endswith('.bin') and os.path.exists(arg):
            name = os.fsencode(arg)[:-4] + b'\xe9.bin'
            os.rename(arg, name)
            raw.append(name)
        else:
            raw.append(os.fsencode(arg))
    code = subprocess.call([os.fsencode(program)] + raw)
    for arg, name in zip(args, raw):  # back, so that the test's folder can be removed
        if name != os.fsencode(arg):
            os.rename(name, arg)
    return code


if __name__ == '__main__':
    mode, program, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    sys.exit({'closed': closed, 'gone': gone, 'stall': stall, 'tty': tty, 'latin1': latin1}[mode](program, rest))
