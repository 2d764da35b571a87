# SPDX-License-Identifier: GPL-3.0-or-later
# bench_monitor_cpu: the process CPU of the program with the "Engine Monitor"
# shown, against kyr-sim at the normal poll or fed N records a second. Run by hand:
#   xvfb-run -a build/bench/bench_monitor_cpu            (or QT_QPA_PLATFORM=offscreen)
#   xvfb-run -a build/bench/bench_monitor_cpu --feed 150
kyr_add_sim_bench(bench_monitor_cpu ${CMAKE_CURRENT_LIST_DIR}/monitor_cpu.cpp)
