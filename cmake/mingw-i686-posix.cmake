# Cross compilation for 32-bit Windows with MinGW-w64, posix thread model (std::thread,
# std::mutex): the test programs and benchmarks. The module itself: mingw-i686.cmake.
set(KSINST_THREAD_MODEL posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
