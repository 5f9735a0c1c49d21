#!/usr/bin/env python3
"""Runs the benchmarks against module-sim and prints one table.

Usage: bench.py BUILD_DIR [--runs N] [--cli]

--cli runs only dudaze-cli's rows.

Every figure is the median of N runs (default 3); where two things are
compared, each run measures both and the ratio is the median of the runs'
ratios. Nothing here judges a figure: the goals are printed beside them.
"""
import argparse
import datetime
import json
import os
import random
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import tty

FIRMWARE_BYTES = 256 * 1024
LOG_BYTES = 1024 * 1024
BLOCK_BYTES = 1029          # STX, number, complement, 1024 data, CRC
POLL_SECONDS = 30
STARTUP_RUNS = 21
TOOL_WINDOW_SIZE = "887x628"   # the main window's size in its form


def line_limit(baud):
    """Bytes per second one way on an 8N1 line."""
    return baud / 10


def block_line_ms(baud):
    return BLOCK_BYTES / line_limit(baud) * 1000


def firmware_file(path):
    with open(path, "wb") as out:
        out.write(random.Random(8).randbytes(FIRMWARE_BYTES))


def log_file(path):
    """Log text of LOG_BYTES without '>' or NUL, which would end or cut the log."""
    rng = random.Random(5)
    events = ["power on", "self test ok", "output on", "output off", "dac set", "temperature high", "fan ok"]
    text = bytearray()
    n = 0
    while len(text) < LOG_BYTES:
        text += ("2026-12-01 %02d:%02d:%02d.%03d #%06d %s t=%.1f\r\n" % (
            n // 3600000 % 24, n // 60000 % 60, n // 1000 % 60, n % 1000, n,
            rng.choice(events), 30 + rng.random() * 10)).encode()
        n += 1
    with open(path, "wb") as out:
        out.write(text[:LOG_BYTES])


class Child:
    """A helper process for the life of a with-block, started once ready() holds."""

    def start(self, argv, ready, what, stderr=None):
        self.proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=stderr)
        for _ in range(100):
            if ready():
                return
            time.sleep(0.05)
        self.proc.terminate()
        raise RuntimeError(what)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()


class Sim(Child):
    """module-sim on a link path of its own."""

    def __init__(self, build, link, baud, extra=()):
        self.link = link
        self.start([os.path.join(build, "sim/module-sim"), "--baud", str(baud), "--link", link, *extra],
                   lambda: os.path.islink(link), "module-sim made no link at " + link)

    def drain(self):
        """Reads what the module sent after a run ended, until 300 ms of quiet."""
        fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            while select.select([fd], [], [], 0.3)[0]:
                if not os.read(fd, 4096):
                    break
        except OSError:
            pass
        os.close(fd)


class Ser2net(Child):
    """ser2net in front of a simulator's device, a raw and an RFC 2217 port on loopback; the configuration is
    the README's."""

    def __init__(self, work, sim):
        device = os.path.realpath(sim.link)
        self.ports = {}
        config = []
        for scheme, accepter in (("socket", "tcp"), ("rfc2217", "telnet(rfc2217),tcp")):
            with socket.socket() as probe:
                probe.bind(("127.0.0.1", 0))
                self.ports[scheme] = probe.getsockname()[1]
            config.append("connection: &%s\n  accepter: %s,127.0.0.1,%d\n  connector: serialdev,%s,115200n81,local\n"
                          "  options:\n    chardelay: false\n" % (scheme, accepter, self.ports[scheme], device))
        path = os.path.join(work, "ser2net-%d.yaml" % self.ports["socket"])
        with open(path, "w") as out:
            out.write("\n".join(config))
        self.start(["ser2net", "-n", "-u", "-c", path], lambda: all(listening(port) for port in self.ports.values()),
                   "ser2net did not listen on %s" % self.ports, stderr=subprocess.DEVNULL)  # its mdns complaints

    def address(self, scheme):
        return "%s://127.0.0.1:%d" % (scheme, self.ports[scheme])


def listening(port):
    """Whether something listens on the loopback port, from the kernel's table (no connection made)."""
    with open("/proc/net/tcp") as table:
        return any(f[1] == "0100007F:%04X" % port and f[3] == "0A" for f in (line.split() for line in table))


def run_tool(build, *args):
    """One run of bench-tool; its "name value" lines as a dict."""
    proc = subprocess.run([os.path.join(build, "bench/bench-tool"), *map(str, args)],
                          capture_output=True, text=True, timeout=900)
    if proc.returncode != 0:
        raise RuntimeError("bench-tool %s failed:\n%s%s" % (args[0], proc.stdout, proc.stderr))
    figures = {}
    for line in proc.stdout.splitlines():
        name, _, value = line.partition(" ")
        figures[name] = value
    return figures


def upload_by_tool(build, sim, baud, firmware):
    got = run_tool(build, "upload", sim.link, baud, firmware)
    sim.drain()
    if got["box"] != "更新完成":
        raise RuntimeError("the tool's upload ended with " + got["box"])
    return float(got["ms"]) / 1000, float(got["cpu_s"])


def upload_by_sx(sim, firmware):
    """'RECV FW' written to the line, then sx -k on it; seconds from the command to sx's end."""
    fd = os.open(sim.link, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    start = time.monotonic()
    os.write(fd, b"RECV FW\r\n")
    proc = subprocess.run(["sx", "-k", firmware], stdin=fd, stdout=fd, stderr=subprocess.PIPE, timeout=900)
    seconds = time.monotonic() - start
    os.close(fd)
    sim.drain()
    if proc.returncode != 0:
        raise RuntimeError("sx failed:\n" + proc.stderr.decode(errors="replace")[-500:])
    return seconds


def measured(argv, **kwargs):
    """argv under GNU time: (the finished process, wall seconds, CPU seconds, peak resident KiB). Python's own
    rusage of a child would count the forked Python's memory as the child's peak."""
    with tempfile.NamedTemporaryFile("r") as figures:
        start = time.monotonic()
        proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", figures.name, *map(str, argv)],
                              capture_output=True, timeout=900, **kwargs)
        seconds = time.monotonic() - start
        user, system, peak = figures.read().split()[-3:]
    return proc, seconds, float(user) + float(system), int(peak)


def run_cli(build, *args):
    """One run of dudaze-cli: (wall seconds, CPU seconds, peak KiB, its JSON events)."""
    env = dict(os.environ, DUDAZE_PASSWORD="QUMBELTA")
    proc, seconds, cpu, peak = measured([os.path.join(build, "cli/dudaze-cli"), "--json", "--no-record", *args], env=env)
    if proc.returncode != 0:
        raise RuntimeError("dudaze-cli %s failed (%d):\n%s" % (args, proc.returncode, proc.stderr.decode(errors="replace")))
    return seconds, cpu, peak, [json.loads(line) for line in proc.stdout.splitlines()]


def upload_by_cli(build, sims, firmware, ports=None):
    """One dudaze-cli run uploading to every simulator (through the ports given, else by their links): its wall
    and CPU seconds, the events' transfer seconds."""
    ports = [arg for port in (ports or [sim.link for sim in sims]) for arg in ("-p", port)]
    seconds, cpu, _, events = run_cli(build, "upload", "firmware", firmware, *ports)
    ends = [e for e in events if e["event"] == "upload"]
    for sim in sims:
        sim.drain()
    if len(ends) != len(sims) or any(e["result"] != "done" for e in ends):
        raise RuntimeError("dudaze-cli's upload ended with %s" % [e["result"] for e in ends])
    return seconds, cpu, max(e["seconds"] for e in ends)


def cli_runs(build, work, firmware, runs):
    """dudaze-cli: uploads beside sx -k at two speeds, four modules at once, status time and memory."""
    got = {}
    for baud in (115200, 921600):
        progress("dudaze-cli upload of 256 KiB at %d, %d runs beside sx -k%s" % (
            baud, runs, ", over socket:// and rfc2217:// through ser2net" if baud == 115200 else ""))
        with Sim(build, os.path.join(work, "cli-%d" % baud), baud) as sim:
            if baud != 115200:
                got[baud] = [(upload_by_cli(build, [sim], firmware), upload_by_sx(sim, firmware)) for _ in range(runs)]
                continue
            with Ser2net(work, sim) as server:
                got[baud], got["net"] = [], []
                for _ in range(runs):
                    got[baud].append((upload_by_cli(build, [sim], firmware), upload_by_sx(sim, firmware)))
                    got["net"].append([upload_by_cli(build, [sim], firmware, [server.address(scheme)])
                                       for scheme in ("socket", "rfc2217")])
    progress("dudaze-cli upload to four modules at once at 115200, %d runs" % runs)
    sims = [Sim(build, os.path.join(work, "cli-four-%d" % i), 115200) for i in range(4)]
    try:
        got["four"] = [(upload_by_cli(build, sims, firmware), upload_by_cli(build, sims[:1], firmware))
                       for _ in range(runs)]
        progress("dudaze-cli status and a bare QCoreApplication on the same port, %d runs" % STARTUP_RUNS)
        status, bare = [], []
        for _ in range(STARTUP_RUNS):
            seconds, _, peak, events = run_cli(build, "status", "-p", sims[0].link)
            if events[0].get("dac") != "12.5":
                raise RuntimeError("status got no DAC value: %s" % events)
            status.append((seconds, peak))
            proc, _, _, peak = measured([os.path.join(build, "bench/bench-cli-bare"), sims[0].link])
            if proc.returncode != 0:
                raise RuntimeError("bench-cli-bare could not open " + sims[0].link)
            bare.append(peak)
            sims[0].drain()
        got["status"], got["bare"] = status, bare
    finally:
        for sim in sims:
            sim.__exit__()
    return got


def cli_rows(row, details, got):
    for baud in (115200, 921600):
        runs = got[baud]
        seconds = median([c[2] for c, _ in runs])
        rate = FIRMWARE_BYTES / seconds
        sx_rate = FIRMWARE_BYTES / median([s for _, s in runs])
        goal = baud == 115200
        row("dudaze-cli upload 256 KiB at %d: RECV FW to the module's prompt" % baud,
            "%.2f s, %.0f B/s, %.3f of the line" % (seconds, rate, rate / line_limit(baud)),
            "≥ 0.97 of the line" if goal else "≥ 0.90 of the line")
        row("… sx -k to the same module-sim at %d" % baud,
            "%.2f s, %.0f B/s, %.3f of the line" % (median([s for _, s in runs]), sx_rate, sx_rate / line_limit(baud)))
        row("… dudaze-cli as a ratio of sx -k", "%.3f" % median(ratios([s for _, s in runs], [c[2] for c, _ in runs])),
            "≥ 0.98" if goal else "")
        details.append("dudaze-cli at %d, transfer s: %s; sx -k s: %s" % (
            baud, " ".join("%.2f" % c[2] for c, _ in runs), " ".join("%.2f" % s for _, s in runs)))
        if baud != 115200:
            continue
        for i, scheme in enumerate(("socket", "rfc2217")):
            net = [n[i][2] for n in got["net"]]
            rate = FIRMWARE_BYTES / median(net)
            row("dudaze-cli upload 256 KiB at 115200 over %s:// through ser2net" % scheme,
                "%.2f s, %.0f B/s, %.3f of the line; %.3f of the local port" % (
                    median(net), rate, rate / line_limit(baud), median(ratios([c[2] for c, _ in runs], net))),
                "≥ 0.97 of the line")
            details.append("dudaze-cli at 115200 over %s://, transfer s: %s" % (scheme, " ".join("%.2f" % s for s in net)))
    four = got["four"]
    row("dudaze-cli, four modules at once at 115200: start to exit",
        "%.2f s against %.2f s for one: %.3f times" % (
            median([f[0] for f, _ in four]), median([o[0] for _, o in four]),
            median(ratios([f[0] for f, _ in four], [o[0] for _, o in four]))), "≤ 1.1 times")
    one = got[115200]
    cpu = [c[1] / c[0] * 100 for c, _ in one]
    row("CPU of dudaze-cli, 256 KiB upload at 115200 (start to exit)",
        "%.3f s, %.2f %% of one core" % (median([c[1] for c, _ in one]), median(cpu)), "< 2 %")
    status, bare = got["status"], got["bare"]
    wall = median([s for s, _ in status]) * 1000
    row("dudaze-cli status: start to exit", "%.1f ms, %.1f ms beyond its own 1000 ms of pacing" % (wall, wall - 1000),
        "≤ 150 ms beyond")
    row("Peak resident memory, dudaze-cli status",
        "%.1f MiB, bare QCoreApplication opening the port %.1f MiB: %.2f times" % (
            median([k for _, k in status]) / 1024, median(bare) / 1024,
            median(ratios([k for _, k in status], bare))), "≤ 1.3 times")
    details.append("dudaze-cli four at once / one s: %s" % " ".join("%.2f/%.2f" % (f[0], o[0]) for f, o in four))
    details.append("dudaze-cli status ms / peak KiB: %s; bare KiB: %s" % (
        " ".join("%.1f/%d" % (s * 1000, k) for s, k in status), " ".join("%d" % k for k in bare)))


def log_by_tool(build, sim, source, saved):
    # The tool asks for the log file in an open dialog: it must exist.
    open(saved, "wb").close()
    got = run_tool(build, "log", sim.link, 115200, saved)
    sim.drain()
    with open(source, "rb") as a, open(saved, "rb") as b:
        sent, kept = a.read(), b.read()
    # The module ends its log with the prompt, which the tool saves with it.
    return float(got["ms"]) / 1000, kept == sent + b">"


def startup(build, program, *args):
    """Milliseconds from launching the program to its first painted frame, and its peak KiB."""
    start = time.monotonic_ns()
    proc = subprocess.run([os.path.join(build, "bench", program), *args], capture_output=True, text=True, timeout=60)
    figures = dict(line.split(" ", 1) for line in proc.stdout.splitlines())
    if proc.returncode != 0 or "peak_kib" not in figures:
        raise RuntimeError("%s failed:\n%s%s" % (program, proc.stdout, proc.stderr))
    return (int(figures["shown_ns"]) - start) / 1e6, int(figures["peak_kib"])


def median(values):
    return statistics.median(values)


def ratios(tops, bottoms):
    return [t / b for t, b in zip(tops, bottoms)]


def machine():
    cpu = "?"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as info:
        kib = int(info.readline().split()[1])
    return "%s, %d cores, %.1f GiB memory, %s" % (cpu, os.cpu_count(), kib / 2**20, datetime.date.today())


def progress(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def startup_runs(build, sim):
    """STARTUP_RUNS x (tool, bare, bare at the tool's size): (ms, peak KiB) each."""
    progress("start-up and memory, %d runs each" % STARTUP_RUNS)
    startup(build, "bench-startup-tool", sim.link)  # warms the font and file caches
    sim.drain()
    got = {"tool": [], "bare": [], "sized": []}
    for _ in range(STARTUP_RUNS):
        got["tool"].append(startup(build, "bench-startup-tool", sim.link))
        sim.drain()
        got["bare"].append(startup(build, "bench-startup-bare"))
        got["sized"].append(startup(build, "bench-startup-bare", TOOL_WINDOW_SIZE))
    return got


def poll_runs(build, sim, runs):
    """runs x POLL_SECONDS connected and polling: (CPU seconds, wall seconds) each."""
    progress("CPU while polling, %d x %d s" % (runs, POLL_SECONDS))
    got = []
    for _ in range(runs):
        figures = run_tool(build, "poll", sim.link, 115200, POLL_SECONDS)
        sim.drain()
        if figures["dac"] != "12.5":
            raise RuntimeError("the polls were not answered: DAC shows '%s'" % figures["dac"])
        got.append((float(figures["cpu_s"]), float(figures["ms"]) / 1000))
    return got


def upload_runs(build, sim, baud, firmware, runs):
    """runs x (the tool, then sx -k) at one speed; the tool's (seconds, CPU seconds) and sx's seconds."""
    progress("upload of 256 KiB at %d, %d runs of the tool and of sx -k" % (baud, runs))
    tool, sx = [], []
    for _ in range(runs):
        tool.append(upload_by_tool(build, sim, baud, firmware))
        sx.append(upload_by_sx(sim, firmware))
    return tool, sx


def upload_rows(row, details, baud, tool, sx):
    seconds = median([t for t, _ in tool])
    rate = FIRMWARE_BYTES / seconds
    per_block = seconds * 1000 / (FIRMWARE_BYTES / 1024) - block_line_ms(baud)
    sx_rate = FIRMWARE_BYTES / median(sx)
    goal = baud == 115200
    row("Upload 256 KiB at %d, tool: 更新 to 更新完成" % baud,
        "%.2f s, %.0f B/s, %.3f of the line's %.0f B/s" % (seconds, rate, rate / line_limit(baud), line_limit(baud)),
        "≥ 0.80 of the line" if goal else "")
    row("… time per block beyond its own line time of %.1f ms" % block_line_ms(baud), "%.1f ms" % per_block,
        "≤ 23 ms (the 20 ms gathering wait + 3)" if goal else "")
    row("… sx -k to the same module-sim at %d" % baud,
        "%.2f s, %.0f B/s, %.3f of the line" % (median(sx), sx_rate, sx_rate / line_limit(baud)))
    row("… tool as a ratio of sx -k", "%.3f" % median(ratios(sx, [t for t, _ in tool])), "≥ 0.81" if goal else "")
    details.append("upload at %d, tool s: %s; sx -k s: %s" % (
        baud, " ".join("%.2f" % t for t, _ in tool), " ".join("%.2f" % s for s in sx)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--qt6-build", help="a release build against Qt 6: its start-up and memory too")
    parser.add_argument("--cli", action="store_true", help="only dudaze-cli's rows")
    opts = parser.parse_args()
    build, runs = os.path.abspath(opts.build), opts.runs
    work = tempfile.mkdtemp(prefix="dudaze-bench.")
    firmware, source = os.path.join(work, "firmware.bin"), os.path.join(work, "log.txt")
    firmware_file(firmware)
    log_file(source)
    rows, details = [], []

    def row(what, figure, goal=""):
        rows.append((what, figure, goal))

    try:
        clis = cli_runs(build, work, firmware, runs)
        if opts.cli:
            cli_rows(row, details, clis)
            return report(rows, details, runs)
        uploads = {}
        with Sim(build, os.path.join(work, "module-115200"), 115200, ["--log-file", source]) as sim:
            polls = poll_runs(build, sim, runs)
            starts = startup_runs(build, sim)
            starts6 = startup_runs(os.path.abspath(opts.qt6_build), sim) if opts.qt6_build else None
            uploads[115200] = upload_runs(build, sim, 115200, firmware, runs)
            progress("log download of 1 MiB at 115200, %d runs (about 92 s each)" % runs)
            logs = [log_by_tool(build, sim, source, os.path.join(work, "saved-%d.txt" % i)) for i in range(runs)]
        with Sim(build, os.path.join(work, "module-921600"), 921600) as sim:
            uploads[921600] = upload_runs(build, sim, 921600, firmware, runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    for baud, (tool, sx) in uploads.items():
        upload_rows(row, details, baud, tool, sx)

    seconds = median([t for t, _ in logs])
    rate = (LOG_BYTES + 1) / seconds
    row("Log download 1 MiB at 115200: file chosen to 日志下载完成",
        "%.2f s, %.0f B/s, %.3f of the line" % (seconds, rate, rate / line_limit(115200)), "≥ 0.95 of the line")
    row("… saved file against the source", "the source byte for byte, then the prompt '>', in %d of %d runs" % (
        sum(1 for _, same in logs if same), len(logs)), "all runs")
    details.append("log download s: " + " ".join("%.2f" % t for t, _ in logs))

    cpu_poll = [c / s * 100 for c, s in polls]
    row("CPU of the tool, %d s connected and polling every 2000 ms" % POLL_SECONDS,
        "%.3f s, %.2f %% of one core" % (median([c for c, _ in polls]), median(cpu_poll)), "< 1 %")
    tool_upload = uploads[115200][0]
    cpu_upload = [c / s * 100 for s, c in tool_upload]
    row("CPU of the tool, 256 KiB upload at 115200",
        "%.3f s, %.2f %% of one core" % (median([c for _, c in tool_upload]), median(cpu_upload)), "< 5 %")
    details.append("CPU %% polling: %s; upload: %s" % (
        " ".join("%.3f" % c for c in cpu_poll), " ".join("%.3f" % c for c in cpu_upload)))

    def ms(got):
        return median([m for m, _ in got])

    def mib(got):
        return median([k for _, k in got]) / 1024

    def startup_rows(starts, qt, goals):
        tool, bare, sized = starts["tool"], starts["bare"], starts["sized"]
        row("Start-up to the first painted frame (offscreen)%s" % qt,
            "tool %.1f ms, bare QMainWindow %.1f ms: %.2f times" % (
                ms(tool), ms(bare), median(ratios([m for m, _ in tool], [m for m, _ in bare]))), goals[0])
        row("Peak resident memory, the tool once connected%s" % qt,
            "tool %.1f MiB, bare QMainWindow %.1f MiB: %.2f times" % (
                mib(tool), mib(bare), median(ratios([k for _, k in tool], [k for _, k in bare]))), goals[1])
        row("… beside a bare QMainWindow of the tool's %s%s" % (TOOL_WINDOW_SIZE.replace("x", " × "), qt),
            "%.1f ms: %.2f times; %.1f MiB: %.2f times" % (
                ms(sized), median(ratios([m for m, _ in tool], [m for m, _ in sized])),
                mib(sized), median(ratios([k for _, k in tool], [k for _, k in sized]))))
        for name, got in starts.items():
            details.append("start-up ms / peak KiB%s, %s: %s" % (qt, name, " ".join("%.1f/%d" % r for r in got)))

    startup_rows(starts, ", Qt 5" if starts6 else "", ("≤ 2 times", "≤ 1.5 times"))
    if starts6:
        startup_rows(starts6, ", Qt 6", ("", ""))
    cli_rows(row, details, clis)
    report(rows, details, runs)


def report(rows, details, runs):
    print("Machine: " + machine())
    print("Medians of %d runs (start-up and memory: %d); each ratio is the median of the runs' own ratios." % (
        runs, STARTUP_RUNS))
    print()
    print("| Measure | Figure | Goal |")
    print("|---|---|---|")
    for what, figure, goal in rows:
        print("| %s | %s | %s |" % (what, figure, goal))
    print()
    for line in details:
        print("runs: " + line)


if __name__ == "__main__":
    main()
