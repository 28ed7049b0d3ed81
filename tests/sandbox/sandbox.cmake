# The sealed prefix holds: host canaries survive a removal run aimed at every
# profile folder (sandbox_test.sh drives the probe and checks the links).
add_executable(sandbox_probe ${CMAKE_CURRENT_LIST_DIR}/sandbox_probe.cpp)
target_link_libraries(sandbox_probe PRIVATE uninstaller_gate test_support uninstaller_core gtest_main gtest
  user32 gdi32 advapi32 shell32)
target_link_options(sandbox_probe PRIVATE -static)
add_test(NAME sandbox_holds
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/sandbox_test.sh ${CMAKE_BINARY_DIR}
    $<TARGET_FILE:sandbox_probe>)
set_tests_properties(sandbox_holds PROPERTIES TIMEOUT 300 LABELS e2e)
wine_lane(unit sandbox_holds)

# Whole-program fuzz (label fuzz): random logs through loading and both
# phases of the action run in a sealed prefix of its own (fuzz.sh). FUZZ_SEED
# and FUZZ_COUNT come from the environment; `make fuzz` is the long run.
add_executable(fuzz_whole ${CMAKE_CURRENT_LIST_DIR}/fuzz_whole.cpp)
target_link_libraries(fuzz_whole PRIVATE uninstaller_gate test_support uninstaller_core
  user32 gdi32 advapi32 shell32)
target_link_options(fuzz_whole PRIVATE -static)
add_test(NAME fuzz_whole
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/fuzz.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:fuzz_whole>)
set_tests_properties(fuzz_whole PROPERTIES LABELS fuzz)
# Its prefix starts as a copy of lane unit's; it runs beside either lane.
set_tests_properties(fuzz_whole PROPERTIES FIXTURES_REQUIRED wine_unit)
