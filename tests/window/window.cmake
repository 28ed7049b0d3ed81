# The dialog tests open dialog 101 from their own program's resources.
target_sources(window_tests PRIVATE ${CMAKE_SOURCE_DIR}/uninstaller/resources/uninstaller.rc)
