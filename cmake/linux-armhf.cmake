# Cross-builds the core, the command line and their tests for armhf Linux
# with Debian's g++-arm-linux-gnueabihf; the tests run under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(popgen_cross_triplet arm-linux-gnueabihf)
set(popgen_cross_emulator qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
