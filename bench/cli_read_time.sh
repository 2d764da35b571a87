#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Wall time of `kyr read`, `kyr info` and `kyr write` against kyr-sim, next to
# the sum of the fixed pauses each one waits out. Measures; asserts nothing.
#
#   bench/cli_read_time.sh [--rows] [BUILD_DIR] [RUNS]
#
# --rows times only `kyr read --port` and `kyr write --port` and prints each
# as a JSON line of milliseconds for bench/run.
#
# BUILD_DIR holds cli/kyr and sim/kyr-sim (default: build). The pauses:
#   read, info:  ReadIdentity 300 ms + ReadTable (setup) 500 ms + ReadTable (table) 500 ms = 1300 ms
#   read, no --port: the port search adds 100 ms for every port that opens
#   write:       ReadIdentity 300 ms + ReadTable (backup) 500 ms + WriteTable gap 100 ms
#                + ReadTable (read-back) 500 ms = 1400 ms
#                (on a real line the write also waits about 251 ms for the image to leave;
#                a pseudo-terminal takes it at once)
set -euo pipefail

rows=
if [[ ${1:-} == --rows ]]; then
  rows=1
  shift
fi
build=${1:-build}
runs=${2:-5}
kyr=$build/cli/kyr
sim=$build/sim/kyr-sim
for b in "$kyr" "$sim"; do
  [[ -x $b ]] || { echo "missing $b: build the targets kyr and kyr-sim first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kyr-bench-XXXXXX")
sim_pid=
cleanup() {
  [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export KYR_PORT_DIR=$work/ports
"$sim" --port 2 --port-dir "$KYR_PORT_DIR" --memory "$work/COM2.mem" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [[ -L $KYR_PORT_DIR/COM2 ]] && break; sleep 0.05; done
[[ -L $KYR_PORT_DIR/COM2 ]] || { echo "kyr-sim did not start: $(cat "$work/sim.out")" >&2; exit 1; }

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# measure NAME PAUSES_MS COMMAND...: runs the command RUNS times, prints min, mean and max.
measure() {
  local name=$1 pauses=$2
  shift 2
  local min= max=0 sum=0 t0 t1 dt samples=
  for _ in $(seq "$runs"); do
    t0=$(now_ms)
    "$@" >/dev/null
    t1=$(now_ms)
    dt=$((t1 - t0))
    samples+=${samples:+, }$dt
    sum=$((sum + dt))
    (( dt > max )) && max=$dt
    [[ -z $min || dt -lt min ]] && min=$dt
  done
  local mean=$((sum / runs))
  if [[ -n $rows ]]; then
    printf '{"id": "%s", "unit": "ms", "samples": [%s]}\n' "$name" "$samples"
    return
  fi
  printf '%-22s pauses %5d ms   wall min %5d  mean %5d  max %5d ms   over the pauses %4d ms\n' \
    "$name" "$pauses" "$min" "$mean" "$max" $((mean - pauses))
}

"$kyr" read --port COM2 -o "$work/tune.kyr" >/dev/null
if [[ -n $rows ]]; then
  measure cli.read 1300 "$kyr" read --port COM2 -o "$work/out.kyr"
  measure cli.write 1400 "$kyr" write --port COM2 "$work/tune.kyr"
  exit 0
fi
opened=$("$kyr" ports --json | grep -c '"problem": null' || true)

echo "kyr-sim on COM2 at 19200 bit/s; $runs runs each"
measure "kyr info --port COM2" 1300 "$kyr" info --port COM2
measure "kyr read --port COM2" 1300 "$kyr" read --port COM2 -o "$work/out.kyr"
measure "kyr read (search)" $((1300 + 100 * opened)) "$kyr" read -o "$work/out.kyr"
measure "kyr write --port COM2" 1400 "$kyr" write --port COM2 "$work/tune.kyr"
echo "(the search opened $opened port(s) at 100 ms each)"
