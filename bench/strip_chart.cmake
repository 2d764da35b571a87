# SPDX-License-Identifier: GPL-3.0-or-later
# The strip chart over a one-hour log at 150 records a second:
#   QT_QPA_PLATFORM=offscreen build/bench/bench_strip_chart
if(TARGET kyr_app_lib)
  add_executable(bench_strip_chart ${CMAKE_CURRENT_LIST_DIR}/strip_chart.cpp)
  target_link_libraries(bench_strip_chart PRIVATE kyr_app_lib)
endif()
