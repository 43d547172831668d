# What the ARM Linux toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR,
# popgen_cross_triplet (the compilers' prefix, Debian's g++-<triplet>) and
# popgen_cross_emulator (the qemu-user program that runs its tests) first.
# Programs are linked statically, so that the tests run under qemu-user with
# no libraries of the target installed.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${popgen_cross_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${popgen_cross_triplet}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${popgen_cross_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${popgen_cross_emulator} CACHE FILEPATH "Runs the test programs")
endif()
