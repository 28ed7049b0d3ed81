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

# The preview against the real run (label fuzz): a modest count here,
# FUZZ_COUNT cases under `make fuzz`.
add_executable(preview_differ ${CMAKE_CURRENT_LIST_DIR}/preview_differ.cpp)
target_link_libraries(preview_differ PRIVATE uninstaller_gate test_support uninstaller_core
  user32 gdi32 advapi32 shell32)
target_link_options(preview_differ PRIVATE -static)
add_test(NAME preview_differ COMMAND preview_differ)
set_tests_properties(preview_differ PROPERTIES TIMEOUT 3600 LABELS fuzz)
wine_lane(unit preview_differ)
