# SPDX-License-Identifier: GPL-3.0-or-later
# bench_gui_stall: the longest pause of the window's event loop while the
# program connects to kyr-sim, reads and writes the table. Run by hand:
#   QT_QPA_PLATFORM=offscreen build/bench/bench_gui_stall
kyr_add_sim_bench(bench_gui_stall ${CMAKE_CURRENT_LIST_DIR}/gui_stall.cpp)
