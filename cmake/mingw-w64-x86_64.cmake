# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers. The POSIX-thread
# variants are needed: Qt uses std::thread and std::mutex, which the win32-thread ones lack.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw}-windres)
set(CMAKE_AR ${mingw}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${mingw}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries, headers and packages come from the Windows side only; programs (moc, uic, rcc,
# ninja) from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
