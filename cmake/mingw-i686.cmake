# Cross build for 32-bit Windows with mingw-w64 (the shipping program). 32-bit code does
# not run on these machines, so this tree is built but not run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: the program is single-threaded, and the posix model's thread
# library (winpthreads) imports calls that Windows 95 and NT 4 lack (GetTickCount64,
# TryEnterCriticalSection, AddVectoredExceptionHandler and more), so that the loader would
# refuse the program there. tests/imports/check_imports.sh holds the imports to them.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
