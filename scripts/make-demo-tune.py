#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes examples/demo.kyr: a realistic tune for a 4-cylinder engine, 7000 RPM range."""
import math, os

raw = [0] * 482
setup = {0: 10, 1: 36, 2: 128, 3: 128, 4: 20, 5: 2, 6: 2, 7: 2, 8: 2, 9: 2, 10: 45, 11: 20,
         12: 10, 13: 10, 14: 0, 15: 65, 16: 20, 17: 5, 23: 5, 24: 3, 25: 40, 26: 5, 27: 3,
         28: 40, 29: 1, 30: 30, 31: 60, 32: 5, 33: 80, 34: 100, 35: 9, 36: 30, 37: 3, 38: 20,
         39: 230, 40: 30, 41: 90, 42: 200, 43: 15, 44: 100, 45: 1, 46: 40, 47: 5, 48: 110,
         49: 1, 50: 100, 51: 0, 52: 100, 53: 10, 54: 10, 80: 4, 81: 70, 82: 6, 83: 10,
         84: 68, 85: 0, 86: 1, 94: 1, 95: 23, 96: 45, 97: 6, 98: ord('K'), 99: ord('T')}
for off, v in setup.items():
    raw[off] = v

def timing(i):  # degrees at i hundred RPM
    if i <= 10:
        return 10
    if i <= 40:
        return round(10 + (i - 10) * 22 / 30)
    return min(34, 32 + (i - 40) // 10)

for i in range(1, 101):
    raw[100 + i] = timing(i)
for i in range(1, 33):            # vacuum timing, bias 10
    raw[200 + i] = round(8 - 10 * i / 32) + 10
for i in range(1, 65):            # fuel by vacuum, bias 100
    raw[232 + i] = round(-4 + 8 * i / 64) + 100
for i in range(1, 33):            # cruise, low, high
    raw[296 + i] = 100 + (2 if i > 24 else 0)
    raw[392 + i] = 100 - 3
    raw[424 + i] = 100 + 4
for i in range(1, 25):            # water temperature 5..120 C: cold enrichment
    t = 5 * i
    raw[328 + i] = 100 + max(0, round(30 - t * 30 / 70))
for i in range(1, 25):            # air temperature, fuel and timing
    t = (i - 1) * 120 / 23 - 20
    raw[352 + i] = 100 + round(-t / 20)
    raw[456 + i] = 100 - (2 if t > 60 else 0)
for i in range(1, 17):            # battery 8..16 V
    v = (i + 14) / 15 * 8
    raw[376 + i] = 100 + max(-2, round((14 - v) * 10 / 6))
raw[481] = 55

plus_one = [(b + 1) & 0xFF for b in raw]
lines = ["#KYR Version", "4371144", "#VehicleInfo", "Datsun~1200 Coupe~A12 1171cc~",
         "#Table", "".join(f"{b}," for b in plus_one) + ";", "#EOF"]
path = os.path.join(os.path.dirname(__file__), "..", "examples", "demo.kyr")
with open(path, "w", newline="") as f:
    f.write("".join(l + "\r\n" for l in lines))
