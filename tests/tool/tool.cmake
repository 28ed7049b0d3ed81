# The tool's tests call its functions through uninstlog_lib and run the
# built program itself.
target_link_libraries(tool_tests PRIVATE uninstlog_lib)
add_dependencies(tool_tests uninstlog uninstaller)
# The preview tests name the action-run helpers in their log.
add_dependencies(tool_tests run_library run_marker)

add_test(NAME static_gate
  COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM}
    "-DOBJECTS=$<TARGET_FILE:uninstaller_core>;$<TARGET_OBJECTS:uninstaller_gate>;$<TARGET_OBJECTS:uninstaller>"
    -P ${CMAKE_CURRENT_LIST_DIR}/gate_check.cmake)

# make bench: check and plan over logs of random lines.
add_executable(bench_check ${CMAKE_CURRENT_LIST_DIR}/bench_check.cpp)
target_link_libraries(bench_check PRIVATE uninstlog_preview test_support uninstlog_lib)
target_link_options(bench_check PRIVATE -static)
