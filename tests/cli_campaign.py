#!/usr/bin/env python3
"""The command line's fault campaign.

A seeded random operator runs dudaze-cli against module-sim modules (one port
or several at once), switches the modules' faults through their control
sockets while the program runs, and sends it INT, TERM, HUP and KILL, or
closes its standard output, at random moments: at a time, or when its trace
(-v) shows "RECV", the k-th block, the final EOT, "KEY 1" or the cancel
going out. After every run of the program it checks:

- the module is not left receiving (unless the program was killed, or the
  line is hung up);
- every record line parses, and says "done" only if the module took the
  whole file (its prompt) as that kind and, for data, "KEY 1" and "LOADDAC"
  followed; an upload that wrote to the module has its record line;
- the exit code is one of the README's table and agrees with the results;
- every command line the module received is one it knows, in printable
  ASCII, and nothing but blocks, EOT and CAN reached it while it received.

With --wide the seed also draws the module's pace across the program's own
time constants (read from protocol/timing.h, the one list of them), single
stray bytes at a block, logs whose lines end in '>' with pauses after them,
and the program's surroundings: a reader of its standard output that stalls,
descriptors 0-2 closed, a faulty server in front of the module
(tests/campaign_relay.py or --server), one module by two routes. Then it
also checks:

- a module that stored the whole file with its usual farewell, in a run
  nothing interrupted, gets "done"; a log saved as complete is the whole
  dump the module sent, and a whole dump followed by quiet is complete;
- no upload stands still (no gap between the module's reads from its
  first block to the end longer than STILL_MS) while the module waits;
- 130, or a "cancelled" record, only after a signal;
- the program's peak resident memory stays under MEMORY_MIB;
- a server's faults are judged as the server's: harmless Telnet (split,
  held back, keep-alives, a command inside a subnegotiation) never loses
  the port; a speed contradicted once the line is open is never "done";
  socket:// to a Telnet server is named as such; one module by two routes
  is refused (exit 2) with nothing written.

A run is fixed by its seed: --seed N [--actions K] [--wide] replays one;
--minutes M runs seed after seed and prints the table; --fixed runs the
suite's seeds (--fixed --wide: the seeds that find the faults below).
"""
import argparse
import fcntl
import json
import os
import random
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

PASSWORD = 'QUMBELTA'
KNOWN = {'MT', 'VER FULL', 'KEY 1', 'DACINFO', 'key 3', 'MOD', 'ast', 'dac', 'MOD ON', 'MOD OFF', 'boot',
         'LOADDAC', 'RECV FW', 'RECV DATA', 'dump logtext', ''}
# A run of the program that has not ended by then hangs.
RUN_LIMIT_S = 60
# The suite's seeds: short enough for its time limit, and between them a
# hang-up and a Ctrl-C inside uploads, a lost cancel and a Ctrl-C between a
# data upload's prompt and "LOADDAC".
FIXED = [(1002, 6), (1004, 2), (1011, 5), (1013, 5)]
# The wide dimensions' suite seeds (with --fixed --wide): each finds one
# of the program's faults in its surroundings or at its constants.
FIXED_WIDE = [(1000, 2), (1003, 1), (1004, 3), (1006, 4), (1008, 2), (1125, 2)]
# An upload's reads at the module further apart than this, with the module
# waiting for the next block, are an upload standing still: well above a
# block's time at the slowest speed drawn, below the 3 s cancel wait.
STILL_MS = 2500
MEMORY_MIB = 64
# The module's own stray bytes: CAN, '>', 'C', NAK, NUL.
STRAY = ['18', '3e', '43', '15', '00']
SIGNALS = {'INT': signal.SIGINT, 'TERM': signal.SIGTERM, 'HUP': signal.SIGHUP, 'KILL': signal.SIGKILL}
RESULT_CODES = {'done': {0}, 'cancelled': {130}, 'failed': {1}, 'module-cancelled': {1}, 'timeout': {1}, 'lost': {3}}


def readme_exit_codes(readme):
    """The exit codes the README's table lists, with what each means."""
    codes, inside = {}, False
    with open(readme, encoding='utf-8') as f:
        for line in f:
            if line.startswith('Exit codes'):
                inside = True
            elif inside:
                m = re.match(r'\|\s*(\d+)\s*\|\s*(.*?)\s*\|\s*$', line)
                if m:
                    codes[int(m.group(1))] = m.group(2)
                elif codes and not line.startswith('|'):
                    break
    if not codes:
        sys.exit('cli_campaign: no exit code table in ' + readme)
    return codes


class Timing:
    """The program's time constants and the ranges the module's pace is drawn
    from, as protocol/timing.h lists them (each constant resolved from the
    header that defines it)."""

    def __init__(self, protocol):
        headers = {}
        for name in os.listdir(protocol):
            if name.endswith('.h'):
                with open(os.path.join(protocol, name), encoding='utf-8') as f:
                    headers[name] = f.read()
        text = headers['timing.h']
        self.constants = {n: self.resolve(e, headers) for n, e in
                          re.findall(r'\{"([\w-]+)",\s*([\w:().]+),\s*"', text)}
        self.ranges = {n: (int(a), int(b)) for n, a, b in re.findall(r'\{"([\w-]+)",\s*(\d+),\s*(\d+)\}', text)}
        if not self.constants or not self.ranges:
            sys.exit('cli_campaign: no constants or ranges in %s/timing.h' % protocol)

    @staticmethod
    def resolve(expr, headers):
        # A field of a settings preset: X::preset().field, by the field's
        # place in the struct and the preset's initializer list.
        m = re.match(r'(\w+)::(\w+)\(\)\.(\w+)$', expr)
        if m:
            for text in headers.values():
                body = re.search(r'struct %s \{(.*?)\n\};' % m.group(1), text, re.S)
                if body:
                    fields = re.findall(r'^\s*(?:int|bool)\s+(\w+)\s*=', body.group(1), re.M)
                    values = re.search(r'%s\(\) \{ return \{([^}]*)\}' % m.group(2), body.group(1)).group(1).split(',')
                    return int(values[fields.index(m.group(3))])
        ident = re.split(r'::|\.', expr)[-1]
        for text in headers.values():
            m = re.search(r'\b%s\s*=\s*(\d+)\s*;' % ident, text)
            if m:
                return int(m.group(1))
        sys.exit('cli_campaign: cannot resolve the constant %s' % expr)

    def draw(self, rng, name, scale=1.0):
        """A pace from the range name: half the time just below, at or just
        above one of the constants inside it, else anywhere in it."""
        lo, hi = self.ranges[name]
        inside = sorted({c for c in self.constants.values() if lo < c <= hi})
        if inside and rng.random() < 0.5:
            c = rng.choice(inside)
            value = c + rng.randint(-max(2, c // 10), max(2, c // 10))
        else:
            value = rng.randint(lo, hi)
        return int(min(hi, max(lo, value)) * scale)


def die_with_parent():
    # A killed driver takes its modules with it (Linux; elsewhere they are
    # ended by the driver's own cleanup only).
    try:
        import ctypes
        ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except Exception:
        pass


class Sim:
    """One module-sim with its link and control socket in folder."""

    def __init__(self, binary, folder, n):
        self.link = os.path.join(folder, 'module%d' % n)
        control = os.path.join(folder, 'control%d' % n)
        self.proc = subprocess.Popen([binary, '--link', self.link, '--control', control],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        deadline, said = time.monotonic() + 10, b''
        while b'module-sim: control' not in said:
            ready = select.select([self.proc.stdout], [], [], max(0, deadline - time.monotonic()))[0]
            more = os.read(self.proc.stdout.fileno(), 4096) if ready else b''
            if not more:
                self.proc.kill()
                raise RuntimeError('module-sim did not start: %r' % said)
            said += more
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.settimeout(10)
        self.sock.connect(control)
        self.buf = b''
        self.hung = False
        self.hung_lately = False  # hung up during the program's run: what it wrote may be lost

    def _line(self):
        while b'\n' not in self.buf:
            more = self.sock.recv(65536)
            if not more:
                raise RuntimeError('module-sim closed its control socket')
            self.buf += more
        line, self.buf = self.buf.split(b'\n', 1)
        return line.decode('latin-1')

    def ask(self, command):
        self.sock.sendall(command.encode() + b'\n')
        answer = self._line()
        if command.split()[0] in ('transcript', 'commands', 'intrusions') and answer.startswith('ok '):
            return [self._line() for _ in range(int(answer.split()[1]))]
        if not answer.startswith('ok'):
            raise RuntimeError('module-sim: %s: %s' % (command, answer))
        if command == 'hangup':
            self.hung = self.hung_lately = True
        elif command == 'reopen':
            self.hung = False
        return answer[3:]

    def commands(self):
        return [bytes.fromhex(entry.split(' ', 1)[1]) if ' ' in entry else b'' for entry in self.ask('commands')]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(3)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.sock.close()
        self.proc.stdout.close()


def stray_at_block(rng, module, blocks):
    # One stray byte from the line right after block K goes out. The
    # simulator has no fault of its own for it yet: the control socket's
    # garbage, sent on the trace's sight of the block.
    return ('block %d' % rng.randint(1, blocks), rng.randint(0, 40), '%d:garbage %s' % (module, rng.choice(STRAY)))


class LogText:
    """The log a run's modules hold: lines of dated events; in wide runs each
    line opens with its line end and closes with '>' ("<ok>"), all of one
    length, so that pieces of that length end in a '>' that is no prompt;
    the last line ends too, as the module's prompt begins a line."""

    def __init__(self, rng, wide):
        count = rng.randint(2, 60)
        if wide:
            lines = ['\r\n2026-12-%02d 08:%02d:00 event %03d <ok>' % (1 + i % 28, i % 60, i) for i in range(count)]
            self.line = len(lines[0])
        else:
            lines = ['2026-12-%02d 08:%02d:00 event %d ok\r\n' % (1 + i % 28, i % 60, i) for i in range(count)]
            self.line = 0
        self.text = (''.join(lines) + ('\r\n' if wide else '')).encode()


def file_of(size, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(size))


def noise(rng):
    # Mostly bytes with no meaning to an upload; now and then any byte, the
    # module's ACK, NAK, CAN, 'C' and '>' among them.
    quiet = [b for b in range(256) if b not in (0x06, 0x15, 0x18, 0x43, 0x3E)]
    pool = range(256) if rng.random() < 0.2 else quiet
    return bytes(rng.choice(pool) for _ in range(rng.randint(1, 8))).hex()


class Action:
    """One run of the program: its command, the modules' faults before it
    starts, and events while it runs, each with its trigger."""

    def __init__(self, rng, modules, index):
        self.index = index
        kinds = [('upload firmware', 30), ('upload data', 36), ('status', 7), ('watch', 4), ('output', 5),
                 ('dac', 5), ('log', 5), ('log -', 3)]
        self.kind = rng.choices([k for k, _ in kinds], [w for _, w in kinds])[0]
        self.upload = self.kind.startswith('upload')
        several = modules > 1 and rng.random() < 0.6
        self.ports = modules if several and not self.kind.startswith('log') else 1  # a log is one module's
        self.size = rng.choice([rng.randint(1, 1024), rng.randint(1025, 8000), rng.randint(8000, 30000)])
        self.blocks = (self.size + 1023) // 1024
        self.json = self.kind != 'log -' and rng.random() < 0.7
        self.pre = []      # (module, control command)
        self.events = []   # (trigger, delay ms, what): trigger 't' (from the start), 'recv', 'block K', 'eot', 'key1', 'cancel'
        self.rng_value = rng.random()
        self.killed = False
        on = lambda: rng.randrange(self.ports)
        if rng.random() < 0.5:
            self.pre.append((0, 'baud %d' % rng.choice([57600, 115200, 230400])))
        if self.upload:
            for _ in range(rng.choice([0, 0, 1, 1, 2])):
                self.pre.append((on(), rng.choice([
                    'nak %d' % rng.choice([1, 2, 3, 10, 12]), 'cancel-at %d' % rng.randint(1, self.blocks + 1),
                    'ignore-cancel on', 'reply-delay %d' % rng.randint(0, 300),
                    'prompt-delay %d' % rng.randint(20, 300), 'prompt-pos %d' % rng.choice([0, 9, 12, 32, 34]),
                    'miss-cancel 1'])))
            if rng.random() < 0.3:
                self.pre.append((on(), 'miss-cancel 1'))
        elif rng.random() < 0.3:
            self.pre.append((on(), rng.choice(['reply-delay %d' % rng.randint(0, 400), 'silent on',
                                                'log-piece %d' % rng.randint(1, 64), 'log-gap %d' % rng.randint(0, 200)])))

        triggers = [('t', None)]
        if self.upload:
            triggers += [('recv', None), ('block %d' % rng.randint(1, self.blocks), None), ('cancel', None)]
            triggers += [('eot', None)] * (3 if self.kind == 'upload data' else 1)
            if self.kind == 'upload data':
                triggers += [('key1', None)] * 2
        for _ in range(rng.choice([0, 1, 1, 1, 2, 2, 3])):
            trigger = rng.choice(triggers)[0]
            delay = {'t': rng.randint(0, 3500), 'recv': rng.randint(0, 300), 'eot': rng.randint(0, 60),
                     'key1': rng.randint(0, 25), 'cancel': rng.randint(0, 3500)}.get(trigger, rng.randint(0, 60))
            what = rng.choices(['INT', 'TERM', 'HUP', 'KILL', 'close-out', 'fault'], [6, 3, 5, 1, 2, 7])[0]
            if what == 'close-out' and not self.json and self.kind != 'log -':
                what = 'INT'
            if what == 'fault':
                what = '%d:%s' % (on(), rng.choice([
                    'hangup', 'silent on', 'garbage ' + noise(rng), 'garbage ' + noise(rng), 'nak %d' % rng.randint(1, 11),
                    'cancel-at %d' % rng.randint(1, self.blocks + 2), 'miss-cancel 1', 'baud %d' % rng.choice([0, 57600]),
                    'reply-delay %d' % rng.randint(0, 300), 'prompt-delay %d' % rng.randint(0, 200)]))
            self.events.append((trigger, delay, what))
        # A hung-up line comes back, a silent module speaks again, now or never.
        self.reopen_ms = rng.randint(100, 2000)
        self.speak_ms = rng.choice([rng.randint(200, 3000), rng.randint(9000, 12000), None])
        self.stall = None        # (trigger, delay ms, seconds): the reader of standard output stops
        self.closed_fds = ()     # standard descriptors closed before the program starts
        self.route = 'local'     # or a server in front of module 0, or two routes to it
        self.relay_seed = 0
        self.stray = False       # a stray byte or a log's blank tail: a fault of the line, not of the run

    def widen(self, rng, timing, stall_scale, log):
        """The wide dimensions: the module's pace across the constants, stray
        bytes, logs with '>' at line ends, and the program's surroundings."""
        if rng.random() < 0.5:  # a calm run: only the module's pace and the surroundings
            self.pre = [(m, c) for m, c in self.pre if c.split()[0] in ('baud', 'reply-delay', 'prompt-delay')]
            self.events = []

        def retime(command):
            word = command.split()[0]
            return '%s %d' % (word, timing.draw(rng, word)) if word in timing.ranges else command
        self.pre = [(m, retime(c)) for m, c in self.pre]
        self.events = [(t, d, w if ':' not in w else '%s:%s' % (w.split(':', 1)[0], retime(w.split(':', 1)[1])))
                       for t, d, w in self.events]
        on = lambda: rng.randrange(self.ports)
        reply = 0
        if rng.random() < 0.5:
            reply = timing.draw(rng, 'reply-delay')
            self.pre.append((on(), 'reply-delay %d' % reply))
        if self.upload:
            if rng.random() < 0.5:
                self.pre.append((on(), 'prompt-delay %d' % timing.draw(rng, 'prompt-delay')))
            if rng.random() < 0.3:
                self.pre.append((on(), 'alarm %s' % rng.choice(['TEMP>60C', 'I>MAX'])))
            if rng.random() < 0.4:
                self.events.append(stray_at_block(rng, on(), self.blocks))
                self.stray = True
        elif self.kind.startswith('log'):
            pieces = 1
            if rng.random() < 0.7:  # line by line, each piece ending in the line's '>'
                self.pre.append((0, 'log-piece %d' % log.line))
                pieces = len(log.text) // log.line
            gap = timing.draw(rng, 'log-gap')
            self.pre.append((0, 'log-gap %d' % gap))
            if rng.random() < 0.4:
                self.events.append(('dump', reply + pieces * gap + rng.randint(0, 200),
                                    '0:garbage %s' % rng.choice(['00', '09'])))
                self.stray = True
        if self.json and self.kind != 'log -' and rng.random() < 0.3:
            trigger = 'block %d' % rng.randint(1, self.blocks) if self.upload else 't'
            self.stall = (trigger, rng.randint(0, 300), timing.draw(rng, 'stall', stall_scale) / 1000)
        if rng.random() < 0.2:
            self.closed_fds = rng.choice([(0,), (1,), (2,), (0, 1), (0, 2), (1, 2), (0, 1, 2)])
            if 2 in self.closed_fds:  # no trace to wait for: the events come at a time
                self.events = [('t', rng.randint(0, 3500), w) for _, _, w in self.events]
                if self.stall:
                    self.stall = ('t', rng.randint(0, 3500), self.stall[2])
            if 1 in self.closed_fds:
                self.stall = None
        if rng.random() < 0.35:
            self.route = rng.choice(['socket', 'rfc2217', 'rfc2217', 'socket-on-telnet', 'two-routes', 'two-names'])
            self.relay_seed = rng.randrange(1 << 30)
            self.ports = 1
            self.pre = [(0, c) for _, c in self.pre]
            self.events = [(t, d, '0:' + w.split(':', 1)[1] if ':' in w else w) for t, d, w in self.events]
            if self.route.startswith('two'):
                self.events, self.stall = [], None

    def argv(self, folder, links):
        self.log_path = os.path.join(folder, 'log%d.txt' % self.index)
        words = {'upload firmware': ['upload', 'firmware', os.path.join(folder, 'image.bin')],
                 'upload data': ['upload', 'data', os.path.join(folder, 'image.bin')],
                 'status': ['status'], 'watch': ['watch', '--count', '2', '--interval', '1'],
                 'output': ['output', 'on' if self.rng_value < 0.5 else 'off'],
                 'dac': ['dac', '%.1f' % (9 + self.rng_value * 22.5)],
                 'log': ['log', self.log_path], 'log -': ['log', '-']}[self.kind]
        for link in links:
            words += ['-p', link]
        if self.json:
            words.append('--json')
        if any(t != 't' for t, _, _ in self.events) or 2 in self.closed_fds:
            # The trace is what the events wait for; with standard error
            # closed it goes nowhere, as from a supervisor that runs it verbose.
            words.append('-v')
        return words + ['--record', os.path.join(folder, 'record.jsonl')]

    def text(self):
        out = self.kind + (' %d B' % self.size if self.upload else '') + (' x%d ports' % self.ports if self.ports > 1 else '')
        if self.route != 'local':
            out += ' | route %s (relay seed %d)' % (self.route, self.relay_seed)
        if self.closed_fds:
            out += ' | fds %s closed' % ','.join(map(str, self.closed_fds))
        if self.stall:
            out += ' | at %s+%d ms output stalls %.1f s' % self.stall
        out += ''.join(' | pre %d:%s' % p for p in self.pre)
        out += ''.join(' | at %s+%d ms %s' % e for e in self.events)
        return out


class Run:
    def __init__(self, seed, actions, tools, tally, readme_codes, log):
        self.seed, self.tools, self.tally, self.codes, self.log = seed, tools, tally, readme_codes, log
        rng = random.Random(seed)
        self.modules = rng.choice([1, 1, 2, 3])
        self.log_source = LogText(rng, tools.wide)
        self.log_text = self.log_source.text
        self.actions = [Action(rng, self.modules, i) for i in range(actions)]
        if tools.wide:
            # From a generator of their own, so that a seed's actions stay
            # those of its narrow run and a prefix (--actions K) replays them.
            wide = random.Random(seed * 7919 + 1)
            for action in self.actions:
                action.widen(wide, tools.timing, tools.stall_scale, self.log_source)
        self.failures = []

    def fail(self, action, why):
        self.failures.append('action %d (%s): %s' % (action.index + 1, action.kind, why))

    def execute(self):
        folder = tempfile.mkdtemp(prefix='cli-campaign-')
        sims = []
        try:
            sims = [Sim(self.tools.sim, folder, n) for n in range(self.modules)]
            for sim in sims:
                sim.ask('log-text ' + self.log_text.hex())
            for action in self.actions:
                self.perform(action, folder, sims)
                self.settle(action, sims)
        finally:
            for sim in sims:
                sim.stop()
            shutil.rmtree(folder, ignore_errors=True)
        return not self.failures

    def settle(self, action, sims):
        """Between two runs of the program: the line back, the faults off, an
        old log dump over, a module a killed program left receiving reset."""
        for sim in sims:
            if sim.hung:
                sim.ask('reopen')
            for command in ('silent off', 'nak 0', 'cancel-at 0', 'miss-cancel 0', 'ignore-cancel off',
                            'prompt-pos -1', 'prompt-delay 0', 'reply-delay 0', 'baud 0', 'log-piece 0', 'log-gap 50',
                            'alarm 0'):
                sim.ask(command)
            # A killed program may have left half a command line too.
            if sim.ask('in-transfer') == '1' or action.killed:
                sim.ask('hangup')
                sim.ask('reopen')
            if not action.kind.startswith('log'):
                continue
            # A dump still going out ends before the next program starts.
            sent, still = None, time.monotonic()
            deadline = still + 10
            while time.monotonic() - still < 0.4 and time.monotonic() < deadline:
                now = sim.ask('log-sent')
                if now != sent:
                    sent, still = now, time.monotonic()
                time.sleep(0.05)

    def start_relay(self, action, sims):
        """The server in front of module 0, if the action's route has one:
        (process, port, its faults)."""
        if action.route == 'local':
            return None, None, []
        mode = 'raw' if action.route in ('socket', 'two-routes', 'two-names') else 'telnet'
        command = self.tools.server or [sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                     'campaign_relay.py')]
        relay = subprocess.Popen(command + ['--device', sims[0].link, '--mode', mode, '--seed', str(action.relay_seed)],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        words = relay.stdout.readline().decode().split()
        if not words:
            relay.kill()
            raise RuntimeError('the server in front of the module did not start')
        self.tally.count('route', action.route + (' ' + ' '.join(words[1:]) if len(words) > 1 else ''))
        return relay, int(words[0]), words[1:]

    @staticmethod
    def targets(action, sims, port):
        """The program's ports, each with the module behind it."""
        if action.route == 'local':
            return [(sim.link, sim) for sim in sims[:action.ports]]
        url = lambda scheme, host='127.0.0.1': '%s://%s:%d' % (scheme, host, port)
        return {'socket': [(url('socket'), sims[0])], 'rfc2217': [(url('rfc2217'), sims[0])],
                'socket-on-telnet': [(url('socket'), sims[0])],
                'two-routes': [(sims[0].link, sims[0]), (url('socket'), sims[0])],
                'two-names': [(url('socket'), sims[0]), (url('socket', 'localhost'), sims[0])]}[action.route]

    def perform(self, action, folder, sims):
        relay, port, relay_faults = self.start_relay(action, sims)
        try:
            self.run_program(action, folder, sims, self.targets(action, sims, port), relay_faults)
        finally:
            if relay is not None:
                relay.kill()
                relay.wait()
                relay.stdout.close()

    def run_program(self, action, folder, sims, targets, relay_faults):
        tally = self.tally
        tally.count('action', action.kind)
        tally.count('ports', 'one' if action.ports == 1 else 'several')
        used = []
        for _, sim in targets:
            if sim not in used:
                used.append(sim)
        image = file_of(action.size, self.seed * 100 + action.index)
        with open(os.path.join(folder, 'image.bin'), 'wb') as f:
            f.write(image)
        record_path = os.path.join(folder, 'record.jsonl')
        record_before = os.path.getsize(record_path) if os.path.exists(record_path) else 0
        marks = {sim: (len(sim.ask('commands')), len(sim.ask('intrusions')), len(sim.ask('transcript'))) for sim in used}
        for sim in used:
            sim.hung_lately = False
        for module, command in action.pre:
            used[module].ask(command)
            tally.count('fault', command.split()[0])
        for fd in action.closed_fds:
            tally.count('surroundings', 'descriptor %d closed' % fd)

        env = dict(os.environ, DUDAZE_PASSWORD=PASSWORD)
        env.pop('DUDAZE_PORT', None)
        argv = [self.tools.cli] + action.argv(folder, [name for name, _ in targets])
        # A stalling reader: the program's output through a small pipe the
        # driver can fill, as a consumer that stops reading leaves it.
        filler = None
        stdout = subprocess.PIPE
        if action.stall:
            read_end, filler = os.pipe()
            fcntl.fcntl(filler, 1031, 4096)  # F_SETPIPE_SZ
            stdout = filler
        closed = action.closed_fds
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE, env=env,
                                preexec_fn=(lambda: [os.close(fd) for fd in closed]) if closed else None)
        out_stream = proc.stdout
        if filler is not None:
            out_stream = os.fdopen(read_end, 'rb', 0)
            os.set_blocking(filler, False)
        start = time.monotonic()
        ms = lambda: int((time.monotonic() - start) * 1000)
        timed = sorted([(d / 1000, what) for t, d, what in action.events if t == 't'], key=lambda e: e[0])
        waiting = [(t, d, what) for t, d, what in action.events if t != 't']
        if action.stall:
            trigger, delay, seconds = action.stall
            (timed if trigger == 't' else waiting).append((delay / 1000, 'stall') if trigger == 't'
                                                          else (trigger, delay, 'stall'))
            timed.sort(key=lambda e: e[0])
        out, err, errline = b'', b'', b''
        streams = {out_stream: 'out', proc.stderr: 'err'}
        signalled, killed, closed_out, blocks = [], False, False, 0
        stalled_until = None
        peak = [0]
        done_at = None
        self.log.append('seed %d action %d: %s' % (self.seed, action.index + 1, action.text()))

        def reap(block=False):
            # The program's end with its peak memory (the child's own rusage).
            if proc.returncode is None:
                pid, status, usage = os.wait4(proc.pid, 0 if block else os.WNOHANG)
                if pid:
                    proc.returncode = os.waitstatus_to_exitcode(status)
                    peak[0] = usage.ru_maxrss
            return proc.returncode

        def fire(what):
            nonlocal killed, closed_out, stalled_until
            if what in SIGNALS:
                if reap() is None:
                    os.kill(proc.pid, SIGNALS[what])
                    signalled.append(what)
                    killed = killed or what == 'KILL'
                    tally.count('event', 'SIG' + what)
            elif what == 'stall':
                if filler is None or out_stream not in streams:
                    return  # the output is closed already: nothing to stall
                for piece in (b'\n' * 512, b'\n'):
                    try:
                        while True:
                            os.write(filler, piece)
                    except BlockingIOError:
                        pass
                stalled_until = time.monotonic() + action.stall[2]
                tally.count('surroundings', 'output stalled')
            elif what == 'close-out':
                if out_stream in streams:
                    del streams[out_stream]
                    out_stream.close()
                    closed_out = True
                    tally.count('event', 'standard output closed')
            elif what == 'reopen':
                for sim in used:
                    if sim.hung:
                        sim.ask('reopen')
            else:
                module, command = what.split(':', 1)
                sim = used[int(module)]
                if sim.hung:
                    return
                sim.ask(command)
                tally.count('fault', command.split()[0])
                if command == 'hangup':
                    timed.append((time.monotonic() - start + action.reopen_ms / 1000, 'reopen'))
                elif command == 'silent on' and action.speak_ms is not None:
                    timed.append((time.monotonic() - start + action.speak_ms / 1000, module + ':silent off'))
                timed.sort(key=lambda e: e[0])
            self.log.append('  %6d ms %s' % (ms(), what))

        def traced(line):
            nonlocal blocks
            m = re.match(rb'\s*\d+ ms (\S+) > (.*)$', line)
            if not m or m.group(1).decode() != targets[0][0]:
                return
            shown = m.group(2)
            hit = None
            if shown.startswith(b'RECV'):
                hit = 'recv'
            elif re.match(rb'\(\d+ bytes\)$', shown):
                blocks += 1
                hit = 'block %d' % blocks
            elif shown == b'\\x04':
                hit = 'eot'
            elif shown.startswith(b'KEY 1'):
                hit = 'key1'
            elif shown.startswith(b'\\x18'):
                hit = 'cancel'
            elif shown.startswith(b'dump logtext'):
                hit = 'dump'
            for entry in [e for e in waiting if e[0] == hit]:
                waiting.remove(entry)
                tally.count('trigger', hit.split()[0])
                timed.append((time.monotonic() - start + entry[1] / 1000, entry[2]))
                timed.sort(key=lambda e: e[0])

        while streams or reap() is None:
            now = time.monotonic() - start
            while timed and timed[0][0] <= now:
                fire(timed.pop(0)[1])
            if now > RUN_LIMIT_S:
                proc.kill()
                self.fail(action, 'the program did not end within %d s' % RUN_LIMIT_S)
                killed = True
                break
            if stalled_until is not None and time.monotonic() >= stalled_until:
                stalled_until = None
            wait = min([0.2] + [max(0, timed[0][0] - now)] if timed else [0.2])
            watched = [st for st in streams if not (stalled_until is not None and streams[st] == 'out')]
            ready = select.select(watched, [], [], wait)[0] if watched else time.sleep(wait) or []
            for stream in ready:
                chunk = os.read(stream.fileno(), 65536)
                if not chunk:
                    del streams[stream]
                    continue
                if streams[stream] == 'out':
                    out += chunk
                else:
                    err += chunk
                    errline += chunk
                    *lines, errline = errline.split(b'\n')
                    for line in lines:
                        traced(line.rstrip(b'\r'))
            if done_at is None and reap() is not None:
                done_at = time.monotonic()
                if filler is not None:  # the driver's own end of the pipe: the program's is gone
                    os.close(filler)
                    filler = None
            if done_at is not None and time.monotonic() - done_at > 5:
                break  # the streams stay open: something the program started still holds them
        reap(block=True)
        if filler is not None:
            os.close(filler)
        for stream in (out_stream, proc.stderr):
            if not stream.closed:
                stream.close()
        code = proc.returncode
        action.killed = killed
        self.log.append('  %6d ms exit %s, peak %.1f MiB' % (ms(), code, peak[0] / 1024))
        tally.count('exit', str(code))
        tally.peak = max(tally.peak, peak[0])
        self.check(action, targets, used, marks, image, record_path, record_before, code, out, err,
                   signalled, killed, closed_out, 1 in closed, peak[0], relay_faults)

    def check(self, action, targets, used, marks, image, record_path, record_before, code, out, err,
              signalled, killed, closed_out, no_output, peak_kib, relay_faults):
        tally = self.tally
        fail = lambda why: self.fail(action, why)
        said = [l for l in err.decode('utf-8', 'replace').splitlines() if not re.match(r'\s*\d+ ms ', l)]
        stderr_tail = said[-2:]  # the program's own messages, not its trace

        # The record: every new line whole and parsed, one per port at most.
        lines = []
        if os.path.exists(record_path):
            with open(record_path, 'rb') as f:
                f.seek(record_before)
                raw = f.read()
            tally.checks += 1
            if raw and not raw.endswith(b'\n'):
                fail('the record ends in a cut line: %r' % raw[-80:])
            for text in raw.split(b'\n'):
                if not text:
                    continue
                try:
                    lines.append(json.loads(text))
                except ValueError:
                    fail('a record line does not parse: %r' % text[:200])
        by_port = {}
        for line in lines:
            port = line.get('port') if isinstance(line, dict) else None
            if port in by_port:
                fail('two record lines for %s' % port)
            by_port[port] = line
            tally.count('result', str(line.get('result')) if isinstance(line, dict) else '?')

        # What the program printed (unless its output was closed).
        events = []
        if not closed_out and not no_output:
            for text in out.split(b'\n'):
                if action.json and text:
                    try:
                        events.append(json.loads(text))
                    except ValueError:
                        fail('standard output carries a line that is no JSON: %r' % text[:200])

        tally.checks += 1
        # A signal that lands before the program has set up its handling
        # ends it the default way; harmless while nothing reached a module.
        reached = any(len(sim.ask('commands')) > marks[sim][0] for sim in used)
        early = code < 0 and not reached and signal.Signals(-code).name[3:] in signalled
        if early:
            tally.count('event', 'ended by a signal before writing')
        elif code < 0 and not killed:
            fail('ended by signal %d (%s) %s' % (-code, signal.Signals(-code).name, stderr_tail))
        elif code >= 0 and code not in self.codes:
            fail('exit code %d is not in the README\'s table %s' % (code, stderr_tail))

        self.check_surroundings(action, targets, used, marks, code, err, signalled, killed, by_port,
                                peak_kib, relay_faults, said)
        if action.route.startswith('two'):
            return  # refused, or its runs cannot be told apart at the one module

        per_port = []
        undisturbed = self.undisturbed(action, relay_faults)
        for name, sim in targets:
            commands = sim.commands()[marks[sim][0]:]
            intrusions = sim.ask('intrusions')[marks[sim][1]:]
            tally.checks += 3
            for line in commands:
                if not all(0x20 <= c < 0x7F for c in line) or not (line.decode('latin-1') in KNOWN or line.startswith(b'DAC ')):
                    fail('%s: a line the module does not know: %s' % (sim.link, line.hex(' ')))
            for what in intrusions:
                fail('%s: %s' % (sim.link, what))
            if not killed and not sim.hung and not {'drop', 'flood=8', 'flood=40'} & set(relay_faults):
                deadline = time.monotonic() + 2.5
                while sim.ask('in-transfer') == '1' and time.monotonic() < deadline:
                    time.sleep(0.02)
                if sim.ask('in-transfer') == '1':
                    fail('%s: the module was left receiving %s' % (sim.link, stderr_tail))

            if self.tools.wide and action.upload and undisturbed is not None:
                self.check_still(action, name, sim, marks[sim][2])
            if self.tools.wide and action.kind.startswith('log') and not killed:
                self.check_log(action, name, sim, code, out, closed_out or no_output, undisturbed)
            names = [c.decode('latin-1') for c in commands]
            receive = 'RECV DATA' if action.kind == 'upload data' else 'RECV FW'
            line = by_port.get(name)
            if action.upload and receive in names and not killed and line is None:
                fail('%s: "%s" was written, but no record line %s' % (sim.link, receive, stderr_tail))
            if line is not None and receive not in names and not sim.hung_lately:
                fail('%s: a record line, but no "%s" reached the module' % (name, receive))
            allowed = None
            if line is not None:
                result = line.get('result')
                allowed = set(RESULT_CODES.get(result, set()))
                if not allowed:
                    fail('%s: a record line with result %r' % (sim.link, result))
                if result == 'done':
                    kind = 'data' if action.kind == 'upload data' else 'fw'
                    last = sim.ask('last-upload').split()
                    padded = image + b'\x1a' * (-len(image) % 1024)
                    tally.checks += 1
                    if last != [kind, '1', str(action.blocks)]:
                        fail('%s: "done", but the module\'s last upload was %s' % (sim.link, ' '.join(last)))
                    elif bytes.fromhex(sim.ask('stored ' + kind)) != padded:
                        fail('%s: "done", but the module holds something else' % sim.link)
                    tail = names[len(names) - names[::-1].index(receive):]
                    if kind == 'data' and not ('KEY 1' in tail and 'LOADDAC' in tail[tail.index('KEY 1'):]):
                        fail('%s: "done", but "KEY 1" and "LOADDAC" did not follow the data: %s' % (sim.link, tail))
                if undisturbed and result != 'done' and self.stored_whole(action, sim, image, names, receive):
                    fail('%s: the module stored the whole file and said so, the program said %r %s'
                         % (name, result, stderr_tail))
                event = [e for e in events if e.get('event') == 'upload' and e.get('port') == name]
                shown = dict(line)
                shown.pop('time', None)
                if action.json and not closed_out and not no_output and event and event[0] != shown:
                    fail('%s: the upload event and the record line differ' % sim.link)
            elif action.upload:
                allowed = {1, 3}
            elif action.json and not closed_out and not no_output:
                errors = [e.get('code') for e in events if e.get('event') == 'error' and e.get('port') == name]
                allowed = {max(errors)} if errors else {0}
            else:
                allowed = {0, 1, 3}
            if signalled:
                allowed.add(130)
            if closed_out:
                allowed |= CLOSED_OUTPUT_CODES & set(self.codes)
            per_port.append(allowed)

        expected = {0}
        for allowed in per_port:
            expected = {max(a, b) for a in expected for b in allowed}
        tally.checks += 1
        if not killed and not early and code >= 0 and code not in expected:
            fail('exit code %d, the results say %s %s' % (code, sorted(expected), stderr_tail))


    def undisturbed(self, action, relay_faults):
        """None when the module itself goes silent or hangs up during the run;
        else whether nothing but the module's own pace came in the way of the
        program (no signal, no fault switched on meanwhile, no verdict-changing
        fault before, a harmless server if any)."""
        faults = [c for _, c in action.pre] + [w.split(':', 1)[1] for _, _, w in action.events if ':' in w]
        if any(c.startswith(('silent on', 'hangup')) for c in faults) or 'drop' in relay_faults:
            return None
        events = [e for e in action.events if not (action.kind.startswith('log') and e[0] == 'dump')]
        return (not events
                and not any(c.split()[0] in ('prompt-pos', 'cancel-at', 'nak', 'silent') for _, c in action.pre)
                and set(relay_faults) <= HARMLESS_SERVER)

    @staticmethod
    def stored_whole(action, sim, image, names, receive):
        kind = 'data' if action.kind == 'upload data' else 'fw'
        padded = image + b'\x1a' * (-len(image) % 1024)
        return (receive in names and sim.ask('last-upload').split() == [kind, '1', str(action.blocks)]
                and bytes.fromhex(sim.ask('stored ' + kind)) == padded)

    def check_still(self, action, name, sim, mark):
        """From the first block to the final EOT or a CAN, the module's reads
        come no further apart than STILL_MS: the module answers each block at
        once, so a longer gap is the program standing still."""
        self.tally.checks += 1
        state, need, last = 'before', 0, None
        seen = b''
        for entry in sim.ask('transcript')[mark:]:
            at, _, hexs = entry.partition(' ')
            data, at = bytes.fromhex(hexs), int(at)
            for i, byte in enumerate(data):
                if state == 'before':
                    seen = (seen + bytes([byte]))[-16:]
                    if seen.endswith((b'RECV FW\r', b'RECV DATA\r')):
                        state = 'greeting'
                elif state == 'greeting' and byte in (1, 2):
                    state, need, last = 'blocks', 132 if byte == 1 else 1028, at
                elif state == 'blocks':
                    if need:
                        need -= 1
                        continue
                    if byte in (1, 2):
                        need = 132 if byte == 1 else 1028
                    elif byte in (4, 0x18):
                        state = 'end'
            if state in ('blocks', 'end') and last is not None:
                if at - last > STILL_MS:
                    self.fail(action, '%s: the upload stood still for %d ms while the module waited for a block'
                              % (name, at - last))
                    return
                last = None if state == 'end' else at

    def check_log(self, action, name, sim, code, out, unseen, undisturbed):
        """A log saved as complete is the whole dump the module sent, prompt
        included, and nothing it did not send; a whole dump followed by quiet
        (or a blank byte) is complete."""
        self.tally.checks += 1
        if action.kind == 'log -':
            if unseen:
                return
            saved = out
        else:
            try:
                with open(action.log_path, 'rb') as f:
                    saved = f.read()
            except OSError:
                saved = b''
        sent = bytes.fromhex(sim.ask('log-sent'))
        dump = self.log_text + b'>'
        if code == 0:
            if not saved.startswith(dump):
                self.fail(action, '%s: the log was saved as complete with %d of the dump\'s %d bytes'
                          % (name, len(saved), len(dump)))
            elif not sent.startswith(saved):
                self.fail(action, '%s: the saved log holds bytes the module did not send' % name)
        elif undisturbed and sent.startswith(dump) and set(sent[len(dump):]) <= {0, 9}:
            self.fail(action, '%s: the module sent its whole log, then only a blank; the program exit %d'
                      % (name, code))

    def check_surroundings(self, action, targets, used, marks, code, err, signalled, killed, by_port, peak_kib,
                           relay_faults, said):
        fail = lambda why: self.fail(action, why)
        self.tally.checks += 3
        if code == 130 and not signalled:
            fail('exit 130 without a signal %s' % said[-2:])
        for port, line in by_port.items():
            if isinstance(line, dict) and line.get('result') == 'cancelled' and not signalled:
                fail('%s: recorded "cancelled" without a signal' % port)
        if MEMORY_MIB and peak_kib > MEMORY_MIB * 1024:
            fail('peak memory %.1f MiB, over %d MiB' % (peak_kib / 1024, MEMORY_MIB))
        if action.route == 'local' or killed:
            return
        faults = [c for _, c in action.pre] + [w for _, _, w in action.events]
        hung = any('hangup' in c or 'silent on' in c for c in faults)
        text = ' '.join(said).lower()
        if action.route.startswith('two'):
            if code != 2:
                fail('one module by two routes (%s) was not refused: exit %d %s'
                     % (', '.join(n for n, _ in targets), code, said[-2:]))
            if len(used[0].ask('commands')) > marks[used[0]][0]:
                fail('one module by two routes: commands reached it')
        elif action.route == 'socket-on-telnet':
            if 'rfc2217' not in text and not signalled:  # interrupted, it may not have read the stream yet
                fail('socket:// to a Telnet server, and no word of rfc2217://: exit %d %s' % (code, said[-2:]))
        elif set(relay_faults) <= HARMLESS_SERVER and not hung and not signalled:
            if code == 3 or any(isinstance(l, dict) and l.get('result') == 'lost' for l in by_port.values()):
                fail('a server that only %s lost the port: %s' % (' and '.join(relay_faults) or 'relays', said[-2:]))
        if action.route == 'rfc2217' and 'contradict' in relay_faults and code == 0:
            fail('the server said 9600 once the line was open at the speed asked, and exit 0')


# What a server may do within Telnet's rules and still serve the module.
HARMLESS_SERVER = {'split', 'burst', 'nop', 'sb-iac'}


# A closed standard output: what the README's table says for it (checked
# against the table when the campaign starts).
CLOSED_OUTPUT_CODES = set()


class Tally:
    def __init__(self):
        self.counts = {}
        self.checks = 0
        self.peak = 0  # KiB: the program's highest peak resident memory in any run

    def count(self, what, kind):
        self.counts.setdefault(what, {})
        self.counts[what][kind] = self.counts[what].get(kind, 0) + 1

    def table(self, runs, failed, actions):
        rows = ['| What | Kind | Count |', '|---|---|---|']
        for what in ('action', 'ports', 'event', 'trigger', 'fault', 'surroundings', 'route', 'result', 'exit'):
            for kind, n in sorted(self.counts.get(what, {}).items()):
                rows.append('| %s | %s | %d |' % (what, kind, n))
        rows += ['| runs | of up to %d actions | %d |' % (actions, runs),
                 '| peak resident memory | dudaze-cli, highest of its runs | %.1f MiB |' % (self.peak / 1024),
                 '| invariant checks | | %d |' % self.checks, '| failed runs | | %d |' % failed]
        return '\n'.join(rows)


class Tools:
    def __init__(self, cli, sim, wide=False, timing=None, stall_scale=1.0, server=None):
        self.cli, self.sim = cli, sim
        self.wide, self.timing, self.stall_scale = wide, timing, stall_scale
        # The faulty server in front of a module: a command that takes
        # --device PATH --mode raw|telnet --seed N and prints its port first.
        self.server = server


def one(seed, actions, tools, tally, codes, quiet=False):
    log = []
    run = Run(seed, actions, tools, tally, codes, log)
    started = time.monotonic()
    ok = run.execute()
    took = time.monotonic() - started
    if not ok:
        print('\n'.join(log), flush=True)
        print('seed %d FAILED (%.1f s):\n  %s' % (seed, took, '\n  '.join(run.failures)), flush=True)
    elif not quiet:
        print('seed %d: %d actions passed (%.1f s)' % (seed, actions, took), flush=True)
    return run


def main():
    parser = argparse.ArgumentParser(description='The command line\'s fault campaign.')
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument('--cli', required=True, help='the dudaze-cli to drive')
    parser.add_argument('--sim', required=True, help='module-sim')
    parser.add_argument('--readme', default=os.path.join(here, '..', 'README.md'))
    parser.add_argument('--seed', type=int, default=1000, help='the (first) run\'s seed')
    parser.add_argument('--actions', type=int, default=6, help='runs of the program in one run')
    parser.add_argument('--runs', type=int, default=1, help='seeds, one after the other')
    parser.add_argument('--minutes', type=float, help='seed after seed for this long, then the table')
    parser.add_argument('--fixed', action='store_true', help='the suite\'s seeds')
    parser.add_argument('--no-shrink', action='store_true', help='no search for the shortest failing prefix')
    parser.add_argument('--describe', action='store_true', help='print the actions, run nothing')
    parser.add_argument('--wide', action='store_true',
                        help='the module\'s pace across the constants, stray bytes, and the surroundings')
    parser.add_argument('--stall-scale', type=float, default=1.0, help='--wide: output stalls scaled by this')
    parser.add_argument('--server', help='--wide: the faulty server\'s command (default tests/campaign_relay.py)')
    parser.add_argument('--protocol', default=os.path.join(here, '..', 'protocol'),
                        help='where timing.h lists the program\'s time constants')
    args = parser.parse_args()

    codes = readme_exit_codes(args.readme)
    CLOSED_OUTPUT_CODES.update(c for c, meaning in codes.items() if 'output' in meaning.lower() and 'closed' in meaning.lower())
    # Under AddressSanitizer the program's resident memory is mostly the
    # sanitizer's shadow and quarantine: the plain builds judge its memory.
    global MEMORY_MIB
    with open(args.cli, 'rb') as binary:
        if b'__asan_init' in binary.read():
            MEMORY_MIB = None
    tools = Tools(os.path.abspath(args.cli), os.path.abspath(args.sim), args.wide,
                  Timing(args.protocol) if args.wide else None, args.stall_scale,
                  args.server.split() if args.server else None)
    # The driver's own end (ctest's timeout, Ctrl-C) still removes its modules and folders.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))

    if args.describe:
        for seed in range(args.seed, args.seed + args.runs):
            run = Run(seed, args.actions, tools, Tally(), codes, [])
            print('seed %d, %d modules%s' % (seed, run.modules, ', wide' if args.wide else ''))
            for a in run.actions:
                print('  %d. %s' % (a.index + 1, a.text()))
        return 0

    tally = Tally()
    if args.fixed:
        plan = FIXED_WIDE if args.wide else FIXED
    elif args.minutes:
        plan = None
    else:
        plan = [(s, args.actions) for s in range(args.seed, args.seed + args.runs)]
    started = time.monotonic()
    failed, runs, seed = [], 0, args.seed
    while True:
        if plan is not None:
            if runs >= len(plan):
                break
            seed, actions = plan[runs]
        elif time.monotonic() - started > args.minutes * 60:
            break
        else:
            actions = args.actions
        run = one(seed, actions, tools, tally, codes)
        runs += 1
        if run.failures:
            failed.append((seed, time.monotonic() - started, run.failures))
            if not args.fixed and not args.no_shrink:
                # The shortest prefix of the same run that still fails.
                for k in range(1, actions + 1):
                    again = one(seed, k, tools, Tally(), codes, quiet=True)
                    if again.failures:
                        print('shortest failing prefix: --seed %d --actions %d' % (seed, k), flush=True)
                        break
                else:
                    print('seed %d: no prefix failed again (timing)' % seed, flush=True)
        seed += 1
    print()
    print(tally.table(runs, len(failed), args.actions))
    for seed, at, failures in failed:
        for failure in failures:
            print('failed: seed %d at %.1f min: %s' % (seed, at / 60, failure))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
