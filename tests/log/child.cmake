add_executable(log_child ${CMAKE_CURRENT_LIST_DIR}/log_child.cpp)
target_link_libraries(log_child PRIVATE uninstaller_gate uninstaller_core user32)
target_link_options(log_child PRIVATE -static)
add_dependencies(log_tests log_child)
