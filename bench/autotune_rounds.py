#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Rounds of "log, suggest, write" against kyr-sim with a known fuel need:
the error of every covered Cruise point against the need after each round.

    bench/autotune_rounds.py [--build DIR] [--seconds S] [--rounds N]

kyr-sim starts from the demo tune with the need below (its built-in default,
written out so the error can be computed); lambda control is set to 0 first.
Each round logs S seconds at the normal poll, runs `kyr autotune --map cruise`,
and writes the suggested tune to the unit. Prints one Markdown row per round.
"""
import argparse, json, os, subprocess, sys, tempfile, time, math

NEED_RPM = [(0, -12), (500, -6), (1000, 2), (1500, 9), (2000, 14), (2500, 15), (3000, 12), (3500, 6),
            (4000, -2), (4500, -9), (5000, -14), (5500, -12), (6000, -9), (6500, -4), (7000, 4)]
NEED_KPA = [(0, -4), (100, 4)]


def interp(points, x):
    if x <= points[0][0]:
        return points[0][1]
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        if x <= x1:
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0)
    return points[-1][1]


def run(cmd, **kw):
    r = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if r.returncode != 0:
        sys.exit(f"{' '.join(cmd)}: exit {r.returncode}\n{r.stderr}")
    return r


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
    ap.add_argument("--seconds", type=float, default=120)
    ap.add_argument("--rounds", type=int, default=5)
    a = ap.parse_args()
    kyr = os.path.join(a.build, "cli", "kyr")
    sim = os.path.join(a.build, "sim", "kyr-sim")
    work = tempfile.mkdtemp(prefix="kyr-autotune-")
    env = dict(os.environ, KYR_PORT_DIR=os.path.join(work, "ports"), XDG_DATA_HOME=os.path.join(work, "data"))
    need = os.path.join(work, "need.txt")
    with open(need, "w") as f:
        f.writelines(f"rpm {r} {p}\n" for r, p in NEED_RPM)
        f.writelines(f"kpa {k} {p}\n" for k, p in NEED_KPA)
    proc = subprocess.Popen([sim, "--port", "3", "--memory", os.path.join(work, "unit.mem"), "--log",
                             os.path.join(work, "sim.log"), "--engine-need", need], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(50):
            if os.path.exists(os.path.join(work, "ports", "COM3")):
                break
            time.sleep(0.1)
        cur = os.path.join(work, "r0.kyr")
        run([kyr, "read", "-p", "COM3", "-o", cur], env=env)
        print("| Round | Covered points | Mean error | Max error | Largest move away from the need |")
        print("| ---: | ---: | ---: | ---: | ---: |")
        prev = None
        for n in range(1, a.rounds + 1):
            log = os.path.join(work, f"r{n}.csv")
            run([kyr, "log", "-p", "COM3", "--duration", str(a.seconds), "-o", log], env=env)
            nxt = os.path.join(work, f"r{n}.kyr")
            out = json.loads(run([kyr, "autotune", "--tune", cur, "--map", "cruise", "-o", nxt, "--json", log],
                                 env=env).stdout)
            errors, away = {}, 0.0
            for p in out["points"]:
                if p["weight"] < 3:
                    continue
                rpm = p["x"] * 100
                n_rpm = interp(NEED_RPM, rpm)
                before = (1 + p["before"] / 100) / (1 + n_rpm / 100) - 1
                after = (1 + p["after"] / 100) / (1 + n_rpm / 100) - 1
                errors[p["index"]] = after
                away = max(away, abs(after) - abs(before))
            if n == 1:
                first = [abs(e) for e in errors.values()]
            mean = sum(abs(e) for e in errors.values()) / max(1, len(errors))
            worst = max((abs(e) for e in errors.values()), default=0)
            print(f"| {n} | {len(errors)} | {mean * 100:.1f} % | {worst * 100:.1f} % | {max(0.0, away) * 100:.1f} % |",
                  flush=True)
            run([kyr, "write", "-p", "COM3", nxt], env=env)
            moved = sum(1 for p in out["points"] if p["change"])
            cur = nxt
            if moved == 0:
                break
    finally:
        proc.terminate()
        proc.wait()


if __name__ == "__main__":
    sys.exit(main())
