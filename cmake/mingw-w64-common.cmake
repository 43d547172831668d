# What both Windows toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR
# and popgen_mingw_triplet (the compilers' prefix) first. The posix thread
# model gives the standard library its threads and mutexes, which GoogleTest
# uses. Programs are linked statically, so they run without any mingw DLL
# beside them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${popgen_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${popgen_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${popgen_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${popgen_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No link time in the programs' headers (the PE time stamp, and the header
# checksum over it): the same sources link to the same bytes, whenever and
# however they are built (scripts/test-reproducible).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
# Release programs are stripped when linked: the .exe is handed out as it is
# (the Windows zip), with no installer to strip it.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

# Test programs run under Wine, both when their tests are listed and when
# CTest runs them.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run" CACHE FILEPATH
      "Runs the Windows test programs")
endif()
