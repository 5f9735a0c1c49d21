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

A run is fixed by its seed: --seed N [--actions K] replays one; --minutes M
runs seed after seed and prints the table; --fixed runs the suite's seeds.
"""
import argparse
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

    def argv(self, folder, links):
        words = {'upload firmware': ['upload', 'firmware', os.path.join(folder, 'image.bin')],
                 'upload data': ['upload', 'data', os.path.join(folder, 'image.bin')],
                 'status': ['status'], 'watch': ['watch', '--count', '2', '--interval', '1'],
                 'output': ['output', 'on' if self.rng_value < 0.5 else 'off'],
                 'dac': ['dac', '%.1f' % (9 + self.rng_value * 22.5)],
                 'log': ['log', os.path.join(folder, 'log%d.txt' % self.index)], 'log -': ['log', '-']}[self.kind]
        for link in links[:self.ports]:
            words += ['-p', link]
        if self.json:
            words.append('--json')
        if any(t != 't' for t, _, _ in self.events):
            words.append('-v')  # the trace is what the events wait for
        return words + ['--record', os.path.join(folder, 'record.jsonl')]

    def text(self):
        out = self.kind + (' %d B' % self.size if self.upload else '') + (' x%d ports' % self.ports if self.ports > 1 else '')
        out += ''.join(' | pre %d:%s' % p for p in self.pre)
        out += ''.join(' | at %s+%d ms %s' % e for e in self.events)
        return out


class Run:
    def __init__(self, seed, actions, tools, tally, readme_codes, log):
        self.seed, self.tools, self.tally, self.codes, self.log = seed, tools, tally, readme_codes, log
        rng = random.Random(seed)
        self.modules = rng.choice([1, 1, 2, 3])
        self.log_text = ''.join('2026-12-%02d 08:%02d:00 event %d ok\r\n' % (1 + i % 28, i % 60, i)
                                for i in range(rng.randint(2, 60))).encode()
        self.actions = [Action(rng, self.modules, i) for i in range(actions)]
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
                            'prompt-pos -1', 'prompt-delay 0', 'reply-delay 0', 'baud 0', 'log-piece 0', 'log-gap 50'):
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

    def perform(self, action, folder, sims):
        tally = self.tally
        tally.count('action', action.kind)
        tally.count('ports', 'one' if action.ports == 1 else 'several')
        used = sims[:action.ports]
        image = file_of(action.size, self.seed * 100 + action.index)
        with open(os.path.join(folder, 'image.bin'), 'wb') as f:
            f.write(image)
        record_path = os.path.join(folder, 'record.jsonl')
        record_before = os.path.getsize(record_path) if os.path.exists(record_path) else 0
        marks = [(len(sim.ask('commands')), len(sim.ask('intrusions'))) for sim in used]
        for sim in used:
            sim.hung_lately = False
        for module, command in action.pre:
            used[module].ask(command)
            tally.count('fault', command.split()[0])

        env = dict(os.environ, DUDAZE_PASSWORD=PASSWORD)
        env.pop('DUDAZE_PORT', None)
        argv = [self.tools.cli] + action.argv(folder, [s.link for s in sims])
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        start = time.monotonic()
        ms = lambda: int((time.monotonic() - start) * 1000)
        timed = sorted([(d / 1000, what) for t, d, what in action.events if t == 't'], key=lambda e: e[0])
        waiting = [(t, d, what) for t, d, what in action.events if t != 't']
        out, err, errline = b'', b'', b''
        streams = {proc.stdout: 'out', proc.stderr: 'err'}
        signalled, killed, closed_out, blocks = [], False, False, 0
        done_at = None
        self.log.append('seed %d action %d: %s' % (self.seed, action.index + 1, action.text()))

        def fire(what):
            nonlocal killed, closed_out
            if what in SIGNALS:
                if proc.poll() is None:
                    os.kill(proc.pid, SIGNALS[what])
                    signalled.append(what)
                    killed = killed or what == 'KILL'
                    tally.count('event', 'SIG' + what)
            elif what == 'close-out':
                if proc.stdout in streams:
                    del streams[proc.stdout]
                    proc.stdout.close()
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
            if not m or m.group(1).decode() != sims[0].link:
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
            for entry in [e for e in waiting if e[0] == hit]:
                waiting.remove(entry)
                tally.count('trigger', hit.split()[0])
                timed.append((time.monotonic() - start + entry[1] / 1000, entry[2]))
                timed.sort(key=lambda e: e[0])

        while streams or proc.poll() is None:
            now = time.monotonic() - start
            while timed and timed[0][0] <= now:
                fire(timed.pop(0)[1])
            if now > RUN_LIMIT_S:
                proc.kill()
                self.fail(action, 'the program did not end within %d s' % RUN_LIMIT_S)
                killed = True
                break
            wait = min([0.2] + [max(0, timed[0][0] - now)] if timed else [0.2])
            ready = select.select(list(streams), [], [], wait)[0] if streams else time.sleep(wait) or []
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
            if done_at is None and proc.poll() is not None:
                done_at = time.monotonic()
            if done_at is not None and time.monotonic() - done_at > 5:
                break  # the streams stay open: something the program started still holds them
        proc.wait()
        for stream in (proc.stdout, proc.stderr):
            if not stream.closed:
                stream.close()
        code = proc.returncode
        action.killed = killed
        self.log.append('  %6d ms exit %s' % (ms(), code))
        tally.count('exit', str(code))
        self.check(action, sims, used, marks, image, record_path, record_before, code, out, err,
                   signalled, killed, closed_out)

    def check(self, action, sims, used, marks, image, record_path, record_before, code, out, err,
              signalled, killed, closed_out):
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
        if not closed_out:
            for text in out.split(b'\n'):
                if action.json and text:
                    try:
                        events.append(json.loads(text))
                    except ValueError:
                        fail('standard output carries a line that is no JSON: %r' % text[:200])

        tally.checks += 1
        # A signal that lands before the program has set up its handling
        # ends it the default way; harmless while nothing reached a module.
        reached = any(len(sim.ask('commands')) > marks[n][0] for n, sim in enumerate(used))
        early = code < 0 and not reached and signal.Signals(-code).name[3:] in signalled
        if early:
            tally.count('event', 'ended by a signal before writing')
        elif code < 0 and not killed:
            fail('ended by signal %d (%s) %s' % (-code, signal.Signals(-code).name, stderr_tail))
        elif code >= 0 and code not in self.codes:
            fail('exit code %d is not in the README\'s table %s' % (code, stderr_tail))

        per_port = []
        for n, sim in enumerate(used):
            commands = sim.commands()[marks[n][0]:]
            intrusions = sim.ask('intrusions')[marks[n][1]:]
            tally.checks += 3
            for line in commands:
                if not all(0x20 <= c < 0x7F for c in line) or not (line.decode('latin-1') in KNOWN or line.startswith(b'DAC ')):
                    fail('%s: a line the module does not know: %s' % (sim.link, line.hex(' ')))
            for what in intrusions:
                fail('%s: %s' % (sim.link, what))
            if not killed and not sim.hung:
                deadline = time.monotonic() + 2.5
                while sim.ask('in-transfer') == '1' and time.monotonic() < deadline:
                    time.sleep(0.02)
                if sim.ask('in-transfer') == '1':
                    fail('%s: the module was left receiving %s' % (sim.link, stderr_tail))

            names = [c.decode('latin-1') for c in commands]
            receive = 'RECV DATA' if action.kind == 'upload data' else 'RECV FW'
            line = by_port.get(sim.link)
            if action.upload and receive in names and not killed and line is None:
                fail('%s: "%s" was written, but no record line %s' % (sim.link, receive, stderr_tail))
            if line is not None and receive not in names and not sim.hung_lately:
                fail('%s: a record line, but no "%s" reached the module' % (sim.link, receive))
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
                event = [e for e in events if e.get('event') == 'upload' and e.get('port') == sim.link]
                shown = dict(line)
                shown.pop('time', None)
                if action.json and not closed_out and event and event[0] != shown:
                    fail('%s: the upload event and the record line differ' % sim.link)
            elif action.upload:
                allowed = {1, 3}
            elif action.json and not closed_out:
                errors = [e.get('code') for e in events if e.get('event') == 'error' and e.get('port') == sim.link]
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


# A closed standard output: what the README's table says for it (checked
# against the table when the campaign starts).
CLOSED_OUTPUT_CODES = set()


class Tally:
    def __init__(self):
        self.counts = {}
        self.checks = 0

    def count(self, what, kind):
        self.counts.setdefault(what, {})
        self.counts[what][kind] = self.counts[what].get(kind, 0) + 1

    def table(self, runs, failed, actions):
        rows = ['| What | Kind | Count |', '|---|---|---|']
        for what in ('action', 'ports', 'event', 'trigger', 'fault', 'result', 'exit'):
            for kind, n in sorted(self.counts.get(what, {}).items()):
                rows.append('| %s | %s | %d |' % (what, kind, n))
        rows += ['| runs | of up to %d actions | %d |' % (actions, runs),
                 '| invariant checks | | %d |' % self.checks, '| failed runs | | %d |' % failed]
        return '\n'.join(rows)


class Tools:
    def __init__(self, cli, sim):
        self.cli, self.sim = cli, sim


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
    args = parser.parse_args()

    codes = readme_exit_codes(args.readme)
    CLOSED_OUTPUT_CODES.update(c for c, meaning in codes.items() if 'output' in meaning.lower() and 'closed' in meaning.lower())
    tools = Tools(os.path.abspath(args.cli), os.path.abspath(args.sim))
    # The driver's own end (ctest's timeout, Ctrl-C) still removes its modules and folders.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))

    if args.describe:
        for seed in range(args.seed, args.seed + args.runs):
            run = Run(seed, args.actions, tools, Tally(), codes, [])
            print('seed %d, %d modules' % (seed, run.modules))
            for a in run.actions:
                print('  %d. %s' % (a.index + 1, a.text()))
        return 0

    tally = Tally()
    if args.fixed:
        plan = FIXED
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
