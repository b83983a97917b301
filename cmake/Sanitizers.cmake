# TCPMODBUS_SANITIZE: the sanitizers every target of the build is compiled
# and linked with, as -fsanitize takes them ("address,undefined", "thread");
# empty for none. The asan and tsan presets set it. Included before any
# target exists, so that the library, its tests, tools and hosts all carry it
# (a sanitized library needs sanitized programs around it).
set(TCPMODBUS_SANITIZE "" CACHE STRING
    "Sanitizers for every target, as -fsanitize= takes them (e.g. address,undefined or thread)")

if(TCPMODBUS_SANITIZE)
  # Any report ends the program, so that a test cannot pass over one; frame
  # pointers give the reports whole stacks.
  set(_tcpmodbus_sanitize_flags "-fsanitize=${TCPMODBUS_SANITIZE}"
      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_tcpmodbus_sanitize_flags})
  add_link_options(${_tcpmodbus_sanitize_flags})
endif()
