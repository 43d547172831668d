# Cross-builds for 32-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-i686); its tests run under Wine's 32-bit part (wine32).
# The code is left to the compiler's default, the x87 unit and no SSE2, so
# that the programs run on every processor that 32-bit Windows 7 runs on
# (Pentium III and Athlon XP have no SSE2). The lists are the same as the
# 64-bit build's all the same: the draws use integers alone, and the only
# arithmetic in doubles is reading the texts, rounding them to whole numbers
# (exact) and the span Max - Min + 1, which Span() in generation/sampler.cpp
# rounds as SSE2 does.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(popgen_mingw_triplet i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
