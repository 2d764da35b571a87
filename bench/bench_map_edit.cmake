# Map edit to WritePoint on the line, through the real window (needs the app).
if(TARGET kyr_app_lib)
  add_executable(bench_map_edit ${CMAKE_CURRENT_LIST_DIR}/bench_map_edit.cpp)
  target_link_libraries(bench_map_edit PRIVATE kyr_app_lib)
  target_compile_definitions(bench_map_edit PRIVATE KYR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
