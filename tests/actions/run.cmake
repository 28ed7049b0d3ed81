# Helpers of the action-run tests: a library with text-argument functions, a
# marker program for E lines and a child program for the runs that end the
# process. All land beside actions_tests.
add_library(run_library SHARED ${CMAKE_CURRENT_LIST_DIR}/run_library.cpp)
set_target_properties(run_library PROPERTIES PREFIX "" OUTPUT_NAME run_library)
target_link_libraries(run_library PRIVATE user32)
target_include_directories(run_library PRIVATE ${CMAKE_SOURCE_DIR}/uninstaller)
target_link_options(run_library PRIVATE -static -Wl,--kill-at)

add_executable(run_marker ${CMAKE_CURRENT_LIST_DIR}/run_marker.cpp)
target_link_options(run_marker PRIVATE -static)

add_executable(run_child ${CMAKE_CURRENT_LIST_DIR}/run_child.cpp)
target_link_libraries(run_child PRIVATE uninstaller_gate uninstaller_core user32 gdi32 advapi32 shell32)
target_link_options(run_child PRIVATE -static)

add_dependencies(actions_tests run_library run_marker run_child)
