# Cross-compiling the Windows build with Debian's mingw-w64 (the POSIX thread
# model, which std::thread and std::mutex need) and running its programs and
# tests under Wine:
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVAN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELVAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELVAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVAN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELVAN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and library carries its C++ runtime, so that it runs on a
# Windows machine (and under Wine) without mingw's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# CTest runs the test programs through Wine.
find_program(ZELVAN_WINE wine)
if(ZELVAN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${ZELVAN_WINE}")
endif()
