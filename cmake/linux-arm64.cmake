# Cross-builds the core, the command line and their tests for arm64 Linux
# with Debian's g++-aarch64-linux-gnu; the tests run under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(popgen_cross_triplet aarch64-linux-gnu)
set(popgen_cross_emulator qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
