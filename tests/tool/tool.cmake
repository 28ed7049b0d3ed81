# The tool's tests call its functions through uninstlog_lib and run the
# built program itself.
target_link_libraries(tool_tests PRIVATE uninstlog_lib)
add_dependencies(tool_tests uninstlog uninstaller)
