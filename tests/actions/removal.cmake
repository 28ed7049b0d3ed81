# Benchmark of the folder removal against the platform's own "rd /s /q".
add_executable(bench_removal ${CMAKE_CURRENT_LIST_DIR}/bench_removal.cpp)
target_link_libraries(bench_removal PRIVATE uninstaller_gate test_support uninstaller_core gtest
  user32 gdi32 advapi32 shell32)
target_link_options(bench_removal PRIVATE -static)
set_target_properties(bench_removal PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN_DIR})

# The protected-folder tests free the shell's known-folder strings.
target_link_libraries(actions_tests PRIVATE ole32)
