# Installation, the CMake package, the pkg-config file and the Debian package.
#
#   cmake --install <build> --prefix <prefix>
# puts in place:
#   include/tcpmodbus/*.h
#   lib/libtcpmodbus.so.1.0.0 with libtcpmodbus.so.1 and libtcpmodbus.so
#     (Windows: bin/tcpmodbus.dll and lib/libtcpmodbus.dll.a)
#   lib/cmake/TcpModbus/TcpModbus{Config,ConfigVersion,Targets}.cmake
#   lib/pkgconfig/tcpmodbus.pc
#   bin/tcpmodbus-cli and bin/tcpmodbus-sim, when the tools are built
#   lib/python3/dist-packages/tcpmodbus, the Python package (not on Windows),
#     with _installed.py, which tells it where the library of its prefix is
#   lib/tcpmodbus.def, the C functions' export list (Windows only)
# and `cpack -G DEB` (in the build folder) makes three Debian packages of
# them: tcpmodbus, tcpmodbus-tools and python3-tcpmodbus.
include(CMakePackageConfigHelpers)

set(TCPMODBUS_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/TcpModbus" CACHE STRING
    "Where the CMake package files go, relative to the prefix")

install(TARGETS tcpmodbus EXPORT TcpModbusTargets
        RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT runtime
        LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT runtime
                NAMELINK_COMPONENT development
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT development
        INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(DIRECTORY include/tcpmodbus
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT development
        FILES_MATCHING PATTERN "*.h")

# An MSVC host makes its own import library of the C functions from this.
if(WIN32)
  install(FILES src/front/tcpmodbus.def
          DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT development)
endif()

# The Python package loads the library through ctypes; nothing is built.
# Debian keeps pure modules for every python3 in lib/python3/dist-packages.
set(TCPMODBUS_PYTHON_DIR "lib/python3/dist-packages" CACHE STRING
    "Where the Python package goes, relative to the prefix")
if(NOT WIN32)
  install(DIRECTORY python/tcpmodbus DESTINATION "${TCPMODBUS_PYTHON_DIR}"
          COMPONENT python
          FILES_MATCHING PATTERN "*.py" PATTERN "py.typed"
          PATTERN "__pycache__" EXCLUDE)
  include(PythonInstalled)
endif()

install(EXPORT TcpModbusTargets NAMESPACE TcpModbus::
        DESTINATION "${TCPMODBUS_CMAKE_DIR}" COMPONENT development)
configure_package_config_file(
    cmake/TcpModbusConfig.cmake.in
    "${CMAKE_CURRENT_BINARY_DIR}/TcpModbusConfig.cmake"
    INSTALL_DESTINATION "${TCPMODBUS_CMAKE_DIR}")
# The binary interface holds within a major version.
write_basic_package_version_file(
    "${CMAKE_CURRENT_BINARY_DIR}/TcpModbusConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/TcpModbusConfig.cmake"
              "${CMAKE_CURRENT_BINARY_DIR}/TcpModbusConfigVersion.cmake"
        DESTINATION "${TCPMODBUS_CMAKE_DIR}" COMPONENT development)

# pkg-config: paths relative to the .pc file, so that an installed tree can
# be moved (and `cmake --install --prefix` may differ from the configured
# prefix).
function(_tcpmodbus_pc_path variable dir)
  if(IS_ABSOLUTE "${dir}")
    set(${variable} "${dir}" PARENT_SCOPE)
  else()
    set(${variable} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
set(TCPMODBUS_PC_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TCPMODBUS_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _tcpmodbus_up "/prefix/${TCPMODBUS_PC_DIR}" "/prefix")
  string(REGEX REPLACE "/+$" "" _tcpmodbus_up "${_tcpmodbus_up}")
  set(TCPMODBUS_PC_PREFIX "\${pcfiledir}/${_tcpmodbus_up}")
endif()
_tcpmodbus_pc_path(TCPMODBUS_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
_tcpmodbus_pc_path(TCPMODBUS_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file(cmake/tcpmodbus.pc.in
               "${CMAKE_CURRENT_BINARY_DIR}/tcpmodbus.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/tcpmodbus.pc"
        DESTINATION "${TCPMODBUS_PC_DIR}" COMPONENT development)

# The tools install themselves (tools/CMakeLists.txt), in the tools
# component.

# Debian packages, `cpack -G DEB`: tcpmodbus (the library and its headers,
# which need nothing but the C and C++ runtime), tcpmodbus-tools (the
# simulated module, which needs libmodbus, and the command-line host) and
# python3-tcpmodbus (the Python package, which needs python3 and the
# library, while hosts in C or C++ need neither Python nor it).
set(CPACK_PACKAGE_NAME "tcpmodbus")
set(CPACK_PACKAGE_VENDOR "TcpModbus developers")
set(CPACK_PACKAGE_CONTACT "TcpModbus developers <tcpmodbus@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
if(WIN32)
  set(CPACK_GENERATOR "ZIP")
else()
  set(CPACK_GENERATOR "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "libs")
# The synopsis comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the
# extended description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads and writes holding and input registers of a remote I/O module over \
Modbus/TCP, with a console trace of every exchange. The package holds the \
shared library, its C and C++ headers, and CMake and pkg-config files.")
set(CPACK_STRIP_FILES ON)
# Dependencies from the binaries themselves (dpkg-shlibdeps, in dpkg-dev).
find_program(TCPMODBUS_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TCPMODBUS_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")

set(CPACK_DEB_COMPONENT_INSTALL ON)
# Named here: CPack would list only the components installed so far, and the
# tools' install rules come later (tools/CMakeLists.txt).
set(CPACK_COMPONENTS_ALL runtime development python)
if(TCPMODBUS_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME "tcpmodbus")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "tcpmodbus-tools")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION "net")
# dpkg-shlibdeps finds libmodbus and the C and C++ runtime. The library
# lies in another package of this build, which it cannot look up: it is
# shown the library package's staging folder (CPack stages each package in
# a sibling folder named after its group, and runs dpkg-shlibdeps in it), and
# the dependency on that package is named here.
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
      "../library${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}")
endif()
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "tcpmodbus (= ${CPACK_PACKAGE_VERSION})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "Programs of the tcpmodbus library: tcpmodbus-cli reads and writes \
registers of a remote I/O module over Modbus/TCP from the command line, and \
tcpmodbus-sim is a simulated module (a Modbus/TCP server on libmodbus) to \
try hosts against.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME "python3-tcpmodbus")
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE "all")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION "python")
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3, tcpmodbus (= ${CPACK_PACKAGE_VERSION})")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "Python package of the tcpmodbus library: a Module class that reads and \
writes holding and input registers of a remote I/O module over Modbus/TCP, \
with the library's results, trace and error texts. Standard library only: it \
loads libtcpmodbus through ctypes.")
include(CPack)
foreach(component runtime development)
  cpack_add_component(${component} GROUP library)
endforeach()
cpack_add_component(tools GROUP tools)
cpack_add_component(python GROUP python)
