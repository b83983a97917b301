# Settings that only a Windows build needs. Included by the top-level
# CMakeLists.txt after the library targets exist and before the tests and
# tools, so that link options set here reach every program of the build.

if(WIN32)
  enable_language(RC)

  # The DLL's entry routine and its only resource, the side-by-side manifest.
  add_library(tcpmodbus_dllmain OBJECT src/platform/DllMain.cpp)
  tcpmodbus_set_warnings(tcpmodbus_dllmain)
  target_sources(tcpmodbus PRIVATE $<TARGET_OBJECTS:tcpmodbus_dllmain>
                                   src/platform/tcpmodbus.rc)
  set_property(SOURCE src/platform/tcpmodbus.rc APPEND PROPERTY
               OBJECT_DEPENDS
               "${CMAKE_CURRENT_SOURCE_DIR}/src/platform/tcpmodbus.manifest")
  # Let windres find the manifest next to the script.
  set_property(SOURCE src/platform/tcpmodbus.rc APPEND PROPERTY
               INCLUDE_DIRECTORIES
               "${CMAKE_CURRENT_SOURCE_DIR}/src/platform")

  # tcpmodbus.dll, its import library libtcpmodbus.dll.a; no version suffix
  # in the DLL's name.
  set_target_properties(tcpmodbus PROPERTIES
      PREFIX ""
      IMPORT_PREFIX "lib"
      IMPORT_SUFFIX ".dll.a"
      RUNTIME_OUTPUT_NAME tcpmodbus)

  # Windows looks for a program's DLLs in the program's own folder first, so
  # the DLL and every program of the build share one: bin/.
  if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
  endif()
  set_target_properties(tcpmodbus PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
endif()

if(MINGW)
  # Link the compiler's runtime (libgcc, libstdc++, winpthread) into each
  # module, so that the DLL and the programs run without the mingw runtime
  # DLLs next to them (on Windows and under wine alike).
  option(TCPMODBUS_STATIC_RUNTIME
         "Link the mingw runtime statically into the DLL and the programs" ON)
  if(TCPMODBUS_STATIC_RUNTIME)
    target_link_options(tcpmodbus PRIVATE -static)
    # Reaches the targets made after this point: tests, tools, benchmark.
    add_link_options(-static)
  endif()
endif()

# GoogleTest for a cross build: the build machine's packaged GoogleTest is
# built for the build machine, so the tests build their own from the sources
# that Debian ships. tests/CMakeLists.txt uses these targets when they exist.
if(CMAKE_CROSSCOMPILING)
  set(_tcpmodbus_gtest_default ON)
else()
  set(_tcpmodbus_gtest_default OFF)
endif()
option(TCPMODBUS_GTEST_FROM_SOURCE "Build GoogleTest from its sources"
       ${_tcpmodbus_gtest_default})
set(TCPMODBUS_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest sources for TCPMODBUS_GTEST_FROM_SOURCE")
if(TCPMODBUS_BUILD_TESTS AND TCPMODBUS_GTEST_FROM_SOURCE
   AND NOT TARGET GTest::gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "GoogleTest is not installed with us" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "GoogleMock with GoogleTest" FORCE)
  add_subdirectory("${TCPMODBUS_GTEST_SOURCE_DIR}"
                   "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
endif()
