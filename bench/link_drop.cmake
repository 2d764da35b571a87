# bench_link_drop: how fast the window notices a dropped kyr-sim line, how
# fast it is live again after the unit returns, and its processor use while
# the link is down. Run by hand:
#   QT_QPA_PLATFORM=offscreen build/bench/bench_link_drop
if(TARGET kyr_app_lib AND TARGET kyr-sim)
  find_package(nlohmann_json 3 REQUIRED)
  add_executable(bench_link_drop ${CMAKE_CURRENT_LIST_DIR}/link_drop.cpp)
  target_include_directories(bench_link_drop PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(bench_link_drop PRIVATE kyr_app_lib nlohmann_json::nlohmann_json)
  target_compile_definitions(bench_link_drop PRIVATE KYR_SIM_PATH="$<TARGET_FILE:kyr-sim>")
  add_dependencies(bench_link_drop kyr-sim)
endif()
