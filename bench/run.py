#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs the benchmarks for bench/run and prints the performance table.

Each benchmark is run with --rows and prints JSON lines
{"id": ..., "unit": ..., "samples": [...]}; this script puts them beside
their goals and limits (bench/README.md explains each row). It exits 1 when
a benchmark cannot run (missing binary, simulator not starting, a crash or
a hang), never because a figure is slow.
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

LINE_BYTES_PER_S = 1920.0  # 19200 bit/s, 8N1
IDENTITY, TABLE = 7, 482
READ_PAUSES_MS = 300 + 500 + 500  # ReadIdentity, ReadTable of the setup, ReadTable of the table
WRITE_PAUSES_MS = 300 + 500 + 100 + 500  # ReadIdentity, backup ReadTable, WriteTable gap, read-back ReadTable
READ_BYTES = (1 + IDENTITY) + 2 * (1 + TABLE)
WRITE_BYTES = (1 + IDENTITY) + (1 + TABLE) + (1 + TABLE) + (1 + TABLE)
LIVE_PER_S = LINE_BYTES_PER_S / 11  # ReadLive byte and a ten-byte record


def line_ms(n):
    return 1000.0 * n / LINE_BYTES_PER_S


class Runner:
    def __init__(self, build, home):
        self.build = build
        # The program's settings, backups and journals go to a folder of the run's own.
        self.env = {"XDG_CONFIG_HOME": os.path.join(home, "config"), "XDG_DATA_HOME": os.path.join(home, "data"),
                    "XDG_CACHE_HOME": os.path.join(home, "cache")}
        self.rows = {}
        self.failures = []

    def binary(self, rel):
        path = os.path.join(self.build, rel)
        if not os.access(path, os.X_OK):
            self.failures.append(f"missing {path}")
            return None
        return path

    def run(self, name, cmd, timeout, env=None):
        """Runs one benchmark; its rows go into self.rows."""
        if cmd[0] is None:
            return False
        started = time.monotonic()
        try:
            done = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout,
                                  env=dict(os.environ, **self.env, **(env or {})))
        except subprocess.TimeoutExpired:
            self.failures.append(f"{name}: no end after {timeout} s")
            return False
        took = time.monotonic() - started
        print(f"  {name}: {took:.1f} s", file=sys.stderr, flush=True)
        logs = os.path.join(self.build, "bench-logs")
        os.makedirs(logs, exist_ok=True)
        with open(os.path.join(logs, name.replace(" ", "_").replace("-", "") + ".txt"), "w") as f:
            f.write(done.stdout + done.stderr)
        for line in done.stdout.splitlines():
            if line.startswith("{"):
                row = json.loads(line)
                self.rows[row["id"]] = row
        if done.returncode != 0:
            why = (done.stderr.strip().splitlines() or ["(nothing on stderr)"])[-1]
            self.failures.append(f"{name}: exit status {done.returncode}: {why}")
            return False
        return True


def startup_times(runner, tuner, runs):
    """kyr-tuner --startup-time, with no ports and with 20 absent ports."""
    notes = []
    fixed = [d for d in os.listdir("/dev") if d.startswith(("ttyS", "ttyUSB", "ttyACM"))]
    # A private mount namespace with an empty /dev (but for null, zero, the
    # random devices and shm) hides the machine's own serial ports.
    hide = None
    if fixed:
        probe = subprocess.run(["unshare", "--mount", "true"], capture_output=True)
        if probe.returncode == 0:
            hide = ("d=$KYR_BENCH_DEV && mount -t tmpfs none \"$d\" && "
                    "for f in null zero random urandom; do touch \"$d/$f\" && mount --bind /dev/$f \"$d/$f\"; done && "
                    "mkdir \"$d/shm\" && mount --bind /dev/shm \"$d/shm\" && mount --rbind \"$d\" /dev && exec \"$@\"")
            notes.append(f"start-up: the machine's {', '.join(sorted(fixed))} hidden by an empty /dev in a mount namespace")
        else:
            notes.append(f"start-up: the machine's {', '.join(sorted(fixed))} could not be hidden (no mount namespace)")
    with tempfile.TemporaryDirectory(prefix="kyr-bench-start-") as tmp:
        empty = os.path.join(tmp, "no-ports")
        absent = os.path.join(tmp, "absent-ports")
        os.makedirs(empty)
        os.makedirs(absent)
        os.makedirs(os.path.join(tmp, "dev"))
        for n in range(1, 21):
            os.symlink(f"/nonexistent/ttyKYR{n}", os.path.join(absent, f"COM{n}"))
        for rid, ports in (("startup.none", empty), ("startup.absent20", absent)):
            samples = []
            for _ in range(runs):
                cmd = [tuner, "--startup-time"]
                if hide:
                    cmd = ["unshare", "--mount", "sh", "-c", hide, "sh"] + cmd
                env = dict(os.environ, **runner.env, KYR_PORT_DIR=ports, KYR_BENCH_DEV=os.path.join(tmp, "dev"))
                try:
                    done = subprocess.run(cmd, capture_output=True, text=True, timeout=20, env=env)
                except subprocess.TimeoutExpired:
                    runner.failures.append("kyr-tuner --startup-time: no first frame after 20 s")
                    return notes
                figures = [l.split()[1] for l in done.stdout.splitlines() if l.startswith("startup-time-ms ")]
                if done.returncode != 0 or not figures:
                    runner.failures.append(f"kyr-tuner --startup-time: exit status {done.returncode}: "
                                           f"{done.stderr.strip()[-200:]}")
                    return notes
                samples.append(float(figures[0]))
            runner.rows[rid] = {"id": rid, "unit": "ms", "samples": samples}
    return notes


def nearest_rank(samples, q):
    s = sorted(samples)
    return s[min(len(s) - 1, max(0, int(round(q * len(s) + 0.5)) - 1))]


def fmt(v, unit):
    if v is None:
        return "—"
    if unit == "us":
        return f"{v:.2f} µs"
    if unit == "/s":
        return f"{v:.0f}/s"
    if unit == "MB":
        return f"{v:.1f} MB"
    return f"{v:.0f} ms" if v >= 100 else f"{v:.1f} ms"


def table_rows(rows):
    """(what, median, p99/max, goal, limit, ratio) for every figure measured."""
    out = []

    def add(rid, what, goal, limit, spread="max", unit=None, value=None):
        row = rows.get(rid)
        if not row or not row["samples"]:
            out.append((what, "not measured", "", goal, fmt(limit, unit or "ms") if limit else "—", "—"))
            return
        u = unit or row["unit"]
        s = row["samples"]
        med = statistics.median(s) if value is None else value
        if len(s) == 1 or spread is None:
            second = ""
        elif spread == "p99":
            second = f"p99 {fmt(nearest_rank(s, 0.99), u)} / max {fmt(max(s), u)}"
        else:
            second = f"max {fmt(max(s), u)}"
        ref = nearest_rank(s, 0.99) if spread == "p99" else med
        ratio = f"{ref / limit:.2f}" if limit else "—"
        out.append((what, fmt(med, u), second, goal, fmt(limit, u) if limit else "—", ratio))

    n = len(rows.get("connect", {}).get("samples", []))
    add("connect", f"Connect until every map is shown ({n} runs)", "≤ 1.05 × limit", READ_PAUSES_MS)
    nq = len(rows.get("connect.quick", {}).get("samples", []))
    add("connect.quick", f"Quick connect until every map is shown ({nq} runs)", "≤ 650 ms", 650.0)
    add("cli.read", "`kyr read --port` wall time", "≤ limit", READ_PAUSES_MS + line_ms(READ_BYTES))
    add("cli.write", "`kyr write --port` wall time", "≤ limit", WRITE_PAUSES_MS + line_ms(WRITE_BYTES))
    for rid, what in (("search", "the start-up search"), ("connect", "Connect"), ("write", "Write to KYR"),
                      ("live_log", "the live poll, logging to .mlg"), ("drag", "a drag on TimingChart")):
        add(f"stall.{rid}", f"Longest event-loop gap during {what}", "≤ 16 ms", 16.0)
    floors = {"idle": line_ms(3), "normal": line_ms(1) + 20 + line_ms(3), "fast": line_ms(11) + line_ms(3)}
    for mode, poll in (("idle", "no poll"), ("normal", "normal poll"), ("fast", "fast poll")):
        for kind in ("mouse", "key"):
            add(f"edit.{kind}.{mode}", f"{kind.capitalize()} press to WritePoint on the line, {poll}",
                "p99 ≤ 25 ms", floors[mode], spread="p99")
    add("live.normal", "Live records a second, normal poll", "≥ 25/s (Timer1)", LIVE_PER_S, unit="/s")
    add("live.fast", "Live records a second, fast poll", "≥ 0.85 × limit", LIVE_PER_S, unit="/s")
    add("startup.none", "Cold start to the window shown, no ports", "≤ 500 ms", 500.0)
    add("startup.absent20", "Cold start to the window shown, 20 absent ports", "≤ 500 ms", 500.0)
    out.extend(memory_rows(rows))
    for rid, what in (("decodeMaps", "Codec: decode the maps of a table"), ("encode", "Codec: encode a table"),
                      ("formatMapFile", "Map file writer (format one table)"),
                      ("parseMapFile", "Map file reader (parse one table)")):
        add(f"codec.{rid}", what, "—", None, spread=None)
    return out


def memory_rows(rows):
    """RSS at rest and after each quarter hour simulated, beside the strip chart's data."""
    get = lambda rid: rows.get(rid, {}).get("samples")  # noqa: E731
    mins, rss, trimmed, used, held = (get(r) for r in ("mem.minutes", "mem.rss", "mem.rss_trimmed", "mem.chart",
                                                        "mem.chart_alloc"))
    if not all((mins, rss, trimmed, used, held)):
        return [("Memory (RSS)", "not measured", "", "flat", "—", "—")]
    out = [("Memory: RSS at rest after Connect", fmt(rss[0], "MB"), "", "—", "—", "—")]
    for i in range(1, len(mins)):
        limit = rss[0] + used[i]
        out.append((f"Memory: RSS after {mins[i]:.0f} min of logging simulated", fmt(rss[i], "MB"),
                    f"growth {rss[i] - rss[0]:+.1f} MB; strip chart data {used[i]:.1f} MB ({held[i]:.1f} allocated); "
                    f"after malloc_trim {trimmed[i]:.1f} MB, {trimmed[i] - limit:+.1f} MB beyond the chart data",
                    "flat but for the chart data", fmt(limit, "MB"), f"{rss[i] / limit:.2f}"))
    return out


def machine_line(args, load):
    cpu = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    build_type = "?"
    try:
        with open(os.path.join(args.build, "CMakeCache.txt")) as f:
            for line in f:
                if line.startswith("CMAKE_BUILD_TYPE:"):
                    build_type = line.split("=", 1)[1].strip()
    except OSError:
        pass
    return (f"Machine: {cpu}, {os.cpu_count()} cores, load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} "
            f"at the start; {build_type} build; platform {args.platform}; Linux {platform.release()}; "
            f"{time.strftime('%Y-%m-%d %H:%M %Z')}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--platform", required=True)
    ap.add_argument("--note", action="append", default=[])
    args = ap.parse_args()
    load = os.getloadavg()
    started = time.monotonic()
    home = tempfile.TemporaryDirectory(prefix="kyr-bench-home-")
    r = Runner(args.build, home.name)
    b = lambda rel: r.binary(rel)  # noqa: E731
    here = os.path.dirname(os.path.abspath(__file__))
    print("bench/run: running the benchmarks", file=sys.stderr, flush=True)

    r.run("bench_codec", [b("bench/bench_codec"), "--rows"], 120)
    r.run("bench_gui_stall", [b("bench/bench_gui_stall"), "--rows", "--connects", "5", "--quick-connects", "5",
                                                "--live-seconds", "5"], 120)
    for mode in ("idle", "normal", "fast"):
        r.run(f"bench_map_edit {mode}", [b("bench/bench_map_edit"), "200", mode, "--rows"], 120)
    r.run("bench_live_rate", [b("bench/bench_live_rate"), "5", "--rows"], 60)
    r.run("bench_monitor_cpu --soak 60", [b("bench/bench_monitor_cpu"), "--soak", "60", "--rows"], 240)
    if b("cli/kyr") and b("sim/kyr-sim"):
        r.run("cli_read_time.sh", ["bash", os.path.join(here, "cli_read_time.sh"), "--rows", args.build, "5"], 120)
    tuner = b("src/app/kyr-tuner")
    notes = startup_times(r, tuner, 5) if tuner else []

    print(machine_line(args, load))
    print()
    print("| What | Median | p99 / max | Goal | Limit | Ratio to limit |")
    print("| --- | ---: | --- | --- | ---: | ---: |")
    for row in table_rows(r.rows):
        print("| " + " | ".join(row) + " |")
    print()
    notes = args.note + notes
    for mode in ("idle", "normal", "fast"):
        unsent = r.rows.get(f"edit.unsent.{mode}", {}).get("samples", [0])
        if unsent and unsent[0] > 0:
            notes.append(f"map edits ({mode}): {unsent[0]:.0f} edits sent no WritePoint within 5 s")
        lost = r.rows.get(f"edit.link_lost.{mode}", {}).get("samples", [0])
        if lost and lost[0] > 0:
            notes.append(f"map edits ({mode}): the link was lost {lost[0]:.0f} times (three live records in a row "
                         "missing: the simulator held off the processor); an edit made then waits for the link "
                         "to come back, which shows as a max near 2 s")
    feed = r.rows.get("mem.feed_seconds", {}).get("samples")
    if feed:
        notes.append(f"memory: an hour of records (630,000 at 175/s) fed in {feed[0]:.0f} s")
    notes.append("gaps are measured with a 5 ms timer and include its period; "
                 "WritePoint limits are the line's own floor (bench/README.md)")
    for n in notes:
        print(f"- {n}")
    for f in r.failures:
        print(f"- FAILED: {f}")
    print(f"\nRun time: {time.monotonic() - started:.0f} s (build excluded)")
    return 1 if r.failures else 0


if __name__ == "__main__":
    sys.exit(main())
