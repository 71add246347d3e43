# Cross build for 64-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-x86-64).
# The posix-threads variant of the compiler is used so that std::thread and std::mutex work.
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DPAGERAKE_CORE_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PAGERAKE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PAGERAKE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAGERAKE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PAGERAKE_MINGW_TRIPLET}-windres)

# Look for libraries and headers in the cross environment only; run build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${PAGERAKE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
