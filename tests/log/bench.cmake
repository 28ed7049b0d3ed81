add_executable(bench_log ${CMAKE_CURRENT_LIST_DIR}/bench_log.cpp)
target_link_libraries(bench_log PRIVATE uninstaller_gate test_support uninstaller_core psapi)
target_link_options(bench_log PRIVATE -static)
