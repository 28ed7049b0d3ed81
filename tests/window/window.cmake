# The dialog tests open dialog 101 from their own program's resources,
# which include the program's manifest: the dialog runs with Common
# Controls 6, as in the program.
target_sources(window_tests PRIVATE ${CMAKE_SOURCE_DIR}/uninstaller/resources/uninstaller.rc)
target_include_directories(window_tests PRIVATE ${RESOURCE_INCLUDE_DIRS})
