# The gauge preview program (played host that draws pictures), run by
# tools/preview.sh; built with the tests, not run by them.
add_executable(gauge_preview ${CMAKE_SOURCE_DIR}/tools/gauge_preview.cpp)
target_compile_definitions(gauge_preview PRIVATE DIST_DIR="${DIST_DIR}")
target_link_options(gauge_preview PRIVATE -static)
add_dependencies(gauge_preview quadrant_gauge)
