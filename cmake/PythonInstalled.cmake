# _installed.py, installed into the Python package: where the library of the
# package's own prefix lies, relative to the package's folder, so that an
# installed package (cmake --install, the Debian package, an unpacked tree
# anywhere) loads it without LD_LIBRARY_PATH. python/tcpmodbus/_library.py
# reads it; the source tree has none.
#
# Debian's multiarch library folder (lib/x86_64-linux-gnu) is written as
# lib/{multiarch}, which the package fills in from its interpreter: the
# python3-tcpmodbus package is one for every architecture.
set(_tcpmodbus_libdir "${CMAKE_INSTALL_LIBDIR}")
if(CMAKE_LIBRARY_ARCHITECTURE)
  string(REGEX REPLACE "/${CMAKE_LIBRARY_ARCHITECTURE}$" "/{multiarch}"
         _tcpmodbus_libdir "${_tcpmodbus_libdir}")
endif()
# Relative folders lie under whatever prefix the install is given, absolute
# ones stay where they are: a relative path between two of one kind, the
# library's absolute folder otherwise.
if(IS_ABSOLUTE "${_tcpmodbus_libdir}" AND NOT IS_ABSOLUTE "${TCPMODBUS_PYTHON_DIR}")
  set(_tcpmodbus_from_package "${_tcpmodbus_libdir}")
elseif(IS_ABSOLUTE "${TCPMODBUS_PYTHON_DIR}" AND NOT IS_ABSOLUTE "${_tcpmodbus_libdir}")
  set(_tcpmodbus_from_package "${CMAKE_INSTALL_PREFIX}/${_tcpmodbus_libdir}")
else()
  set(_tcpmodbus_root "/prefix/")
  if(IS_ABSOLUTE "${_tcpmodbus_libdir}")
    set(_tcpmodbus_root "")
  endif()
  file(RELATIVE_PATH _tcpmodbus_from_package
       "${_tcpmodbus_root}${TCPMODBUS_PYTHON_DIR}/tcpmodbus"
       "${_tcpmodbus_root}${_tcpmodbus_libdir}")
endif()
set(TCPMODBUS_PYTHON_LIBRARY_DIR "${_tcpmodbus_from_package}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/python_installed.py.in"
               "${CMAKE_CURRENT_BINARY_DIR}/python/_installed.py" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/python/_installed.py"
        DESTINATION "${TCPMODBUS_PYTHON_DIR}/tcpmodbus" COMPONENT python)
