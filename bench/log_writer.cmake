# SPDX-License-Identifier: GPL-3.0-or-later
# The log writer over an eight-hour log:
#   build/bench/bench_log_writer [FILE.mlg]
add_executable(bench_log_writer ${CMAKE_CURRENT_LIST_DIR}/log_writer.cpp)
target_link_libraries(bench_log_writer PRIVATE kyr_live)
