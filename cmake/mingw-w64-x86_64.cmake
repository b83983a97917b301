# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads):
#   cmake -S . -B build/windows \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# produces tcpmodbus.dll and its import library libtcpmodbus.dll.a.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TCPMODBUS_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TCPMODBUS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TCPMODBUS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TCPMODBUS_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TCPMODBUS_MINGW_TRIPLET}-ar CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${TCPMODBUS_MINGW_TRIPLET}-ranlib CACHE FILEPATH "ranlib")
set(CMAKE_OBJDUMP ${TCPMODBUS_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump")

# Headers and libraries come from the target's tree only; programs (cmake,
# python, the shell) from the build machine.
# More roots (an installed prefix, say) can be given with -DCMAKE_FIND_ROOT_PATH.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TCPMODBUS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under wine when it is there (see tests/windows/wine-run).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(_tcpmodbus_wine_run "${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run")
  get_filename_component(_tcpmodbus_wine_run "${_tcpmodbus_wine_run}" ABSOLUTE)
  if(EXISTS "${_tcpmodbus_wine_run}")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${_tcpmodbus_wine_run}")
  endif()
endif()
