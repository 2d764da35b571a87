# SPDX-License-Identifier: GPL-3.0-or-later
# Rounds of fuel suggestions against kyr-sim's engine model, in simulated time.
if(TARGET kyr_sim)
  add_executable(autotune_model ${CMAKE_CURRENT_LIST_DIR}/autotune_model.cpp)
  target_link_libraries(autotune_model PRIVATE kyr_sim kyr_live)
  target_compile_definitions(autotune_model PRIVATE KYR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
