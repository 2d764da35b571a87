# SPDX-License-Identifier: GPL-3.0-or-later
# bench_live_rate: live records a second against kyr-sim, normal and fast
# poll, through the real window. Run by hand:
#   build/bench/bench_live_rate [seconds]
kyr_add_sim_bench(bench_live_rate ${CMAKE_CURRENT_LIST_DIR}/live_rate.cpp)
