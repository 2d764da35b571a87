# SPDX-License-Identifier: GPL-3.0-or-later
# bench_link_drop: how fast the window notices a dropped kyr-sim line, how
# fast it is live again after the unit returns, and its processor use while
# the link is down. Run by hand:
#   QT_QPA_PLATFORM=offscreen build/bench/bench_link_drop
kyr_add_sim_bench(bench_link_drop ${CMAKE_CURRENT_LIST_DIR}/link_drop.cpp)
