# SPDX-License-Identifier: GPL-3.0-or-later
# bench_map_edit: map edit to WritePoint on the line, through the real window
# against kyr-sim, with the real-time poll off, normal or fast. Run by hand:
#   build/bench/bench_map_edit 200 fast
kyr_add_sim_bench(bench_map_edit ${CMAKE_CURRENT_LIST_DIR}/bench_map_edit.cpp)
