# SPDX-License-Identifier: GPL-3.0-or-later
# A log of 50 000 channels: read, handed to the strip chart, drawn:
#   QT_QPA_PLATFORM=offscreen build/bench/bench_wide_log [channels] [rows]
if(TARGET kyr_app_lib)
  add_executable(bench_wide_log ${CMAKE_CURRENT_LIST_DIR}/wide_log.cpp)
  target_link_libraries(bench_wide_log PRIVATE kyr_app_lib)
endif()
