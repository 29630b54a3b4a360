# Cross compilation of the module and its command-line host for 32-bit Windows with
# MinGW-w64, win32 thread model: no POSIX-threads runtime is linked in, so nothing newer
# than Windows 95 and NT 4.0 enters the import table through it. mingw-i686-posix.cmake
# includes this file with the posix model for the test programs.
if(NOT KSINST_THREAD_MODEL)
  set(KSINST_THREAD_MODEL win32)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${KSINST_THREAD_MODEL})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${KSINST_THREAD_MODEL})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
