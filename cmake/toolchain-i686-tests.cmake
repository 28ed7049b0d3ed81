# Test tree of the shipped flavour: the tests as 32-bit Windows programs,
# run by 32-bit Wine inside the VM (tools/vm/). The shipped flavour's
# settings with the posix thread model, which gives GoogleTest its
# std::mutex; the shipped files keep toolchain-i686.cmake as it is.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686.cmake)
set(CMAKE_C_COMPILER ${TOOL_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOL_PREFIX}-g++-posix)
set(WIN32_TESTS ON CACHE BOOL "" FORCE)
# Test executables run through the guest's 32-bit Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/vm/guest-wine.sh)
