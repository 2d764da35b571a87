# bench_gui_stall: the longest pause of the window's event loop while the
# program connects to kyr-sim, reads and writes the table. Run by hand:
#   QT_QPA_PLATFORM=offscreen build/bench/bench_gui_stall
if(TARGET kyr_app_lib AND TARGET kyr-sim)
  find_package(nlohmann_json 3 REQUIRED)
  add_executable(bench_gui_stall ${CMAKE_CURRENT_LIST_DIR}/gui_stall.cpp)
  target_include_directories(bench_gui_stall PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(bench_gui_stall PRIVATE kyr_app_lib nlohmann_json::nlohmann_json)
  target_compile_definitions(bench_gui_stall PRIVATE KYR_SIM_PATH="$<TARGET_FILE:kyr-sim>")
  add_dependencies(bench_gui_stall kyr-sim)
endif()
