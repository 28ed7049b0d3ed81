# End-to-end scenarios: one runner drives the real uninstaller through every
# scenario file of tests/scenarios; each file is its own CTest case.
add_executable(e2e_runner
  ${CMAKE_CURRENT_LIST_DIR}/../e2e/runner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../e2e/scenario.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../e2e/win_probe.cpp)
target_include_directories(e2e_runner PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(e2e_runner PRIVATE test_support user32 gdi32 advapi32 shell32)
target_link_options(e2e_runner PRIVATE -static)
set_target_properties(e2e_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEST_BIN_DIR})
add_dependencies(e2e_runner uninstaller)

file(GLOB e2e_scenarios CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../scenarios/*.scn)
foreach(scenario ${e2e_scenarios})
  get_filename_component(scenario_name ${scenario} NAME_WE)
  add_test(NAME e2e_${scenario_name} COMMAND e2e_runner ${scenario})
  # The scenarios share the prefix's registry, temporary folder and windows.
  set_tests_properties(e2e_${scenario_name} PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE)
endforeach()
