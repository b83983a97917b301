#!/bin/sh
# Installs a build into a temporary prefix and builds tiny hosts against it:
#   check-install.sh linux   <build dir>
#       find_package(TcpModbus) and pkg-config, then runs both hosts and the
#       installed command-line host; builds the C example against the
#       installed C header, and imports the installed Python package;
#   check-install.sh windows <build dir> <toolchain file> <runner>
#       find_package(TcpModbus) with the cross toolchain, host run by <runner>
#       (the wine wrapper).
# Exits non-zero on the first failure, saying what failed.
set -eu
mode="$1"
build="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
# The version this build makes, as CMake's project() states it.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "FAIL: no project version in $build" >&2; exit 1; }

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "-- $*"; }

expect_file() {
  [ -e "$prefix/$1" ] || fail "not installed: $1"
}

# Runs a host and wants its one line "host ok".
expect_host_ok() {
  output="$("$@" 2>&1)" || fail "host failed: $* -> $output"
  case "$output" in
    *"host ok"*) ;;
    *) fail "host said: $output" ;;
  esac
}

step "install $build into $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log"; fail "cmake --install"; }
expect_file include/tcpmodbus/TCPModbusIntf.h
expect_file include/tcpmodbus/export.h
expect_file include/tcpmodbus/tcpmodbus.h
expect_file include/tcpmodbus/Values.h

# The library directory as configured (lib, or lib/<multiarch> for /usr).
cmake_dir="$(cd "$prefix" && find . -path '*/cmake/TcpModbus/TcpModbusConfig.cmake' | head -n 1)"
[ -n "$cmake_dir" ] || fail "TcpModbusConfig.cmake not installed"
cmake_dir="$(dirname "$cmake_dir")"
libdir="${cmake_dir%/cmake/TcpModbus}"
libdir="${libdir#./}"
for file in TcpModbusConfig.cmake TcpModbusConfigVersion.cmake \
  TcpModbusTargets.cmake; do
  expect_file "$cmake_dir/$file"
done

case "$mode" in
  linux)
    expect_file "$libdir/libtcpmodbus.so.$version"
    [ "$(readlink "$prefix/$libdir/libtcpmodbus.so.1")" = libtcpmodbus.so.$version ] ||
      fail "libtcpmodbus.so.1 does not point at libtcpmodbus.so.$version"
    [ "$(readlink "$prefix/$libdir/libtcpmodbus.so")" = libtcpmodbus.so.1 ] ||
      fail "libtcpmodbus.so does not point at libtcpmodbus.so.1"
    soname="$(readelf -d "$prefix/$libdir/libtcpmodbus.so.$version" |
      sed -n 's/.*(SONAME).*\[\(.*\)\].*/\1/p')"
    [ "$soname" = libtcpmodbus.so.1 ] || fail "SONAME is '$soname'"
    expect_file "$libdir/pkgconfig/tcpmodbus.pc"

    step "host with find_package(TcpModbus)"
    cmake -S "$here/host" -B "$work/cmake-host" \
      -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake-host.log" 2>&1 ||
      { cat "$work/cmake-host.log"; fail "find_package(TcpModbus 1.0)"; }
    cmake --build "$work/cmake-host" >"$work/cmake-build.log" 2>&1 ||
      { cat "$work/cmake-build.log"; fail "building the find_package host"; }
    expect_host_ok "$work/cmake-host/tcpmodbus-host"

    step "find_package(TcpModbus 2.0) refuses version 1"
    if cmake -S "$here/host" -B "$work/cmake-host2" \
      -DCMAKE_PREFIX_PATH="$prefix" -DTCPMODBUS_WANTED_VERSION=2.0 \
      >"$work/cmake-host2.log" 2>&1; then
      fail "find_package(TcpModbus 2.0) accepted the installed 1.x"
    fi
    grep -qF "version: $version" "$work/cmake-host2.log" ||
      { cat "$work/cmake-host2.log"; fail "2.0 refused for another reason"; }

    step "host with pkg-config"
    export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
    [ "$(pkg-config --modversion tcpmodbus)" = "$version" ] ||
      fail "pkg-config --modversion tcpmodbus"
    pc_libdir="$(pkg-config --variable=libdir tcpmodbus)"
    # shellcheck disable=SC2046
    ${CXX:-c++} -std=c++17 -Wall -Wextra -Wpedantic -Werror \
      $(pkg-config --cflags tcpmodbus) "$here/host/main.cpp" \
      -o "$work/pc-host" $(pkg-config --libs tcpmodbus) \
      -Wl,-rpath,"$pc_libdir" || fail "building the pkg-config host"
    expect_host_ok "$work/pc-host"

    step "C host with pkg-config"
    # shellcheck disable=SC2046
    ${CC:-cc} -std=c99 -Wall -Wextra -Wpedantic -Werror \
      $(pkg-config --cflags tcpmodbus) "$here/../../examples/read_registers.c" \
      -o "$work/c-host" $(pkg-config --libs tcpmodbus) ||
      fail "building the C example against the installed header"

    step "installed Python package finds the library of its prefix"
    expect_file lib/python3/dist-packages/tcpmodbus/__init__.py
    expect_file lib/python3/dist-packages/tcpmodbus/py.typed
    expect_file lib/python3/dist-packages/tcpmodbus/_installed.py
    reported="$(env -u LD_LIBRARY_PATH PYTHONPATH="$prefix/lib/python3/dist-packages" \
      PYTHONDONTWRITEBYTECODE=1 python3 -c \
      'import tcpmodbus; print(tcpmodbus.__version__, tcpmodbus._library.LIBRARY._name)')" ||
      fail "importing the installed Python package"
    [ "$reported" = "$version $prefix/$libdir/libtcpmodbus.so.1" ] ||
      fail "the Python package reports version and library '$reported'"

    if [ -x "$prefix/bin/tcpmodbus-cli" ]; then
      step "installed tcpmodbus-cli finds its library"
      "$prefix/bin/tcpmodbus-cli" --help >/dev/null ||
        fail "installed tcpmodbus-cli --help"
    fi
    ;;
  windows)
    toolchain="$3"
    runner="$4"
    expect_file bin/tcpmodbus.dll
    expect_file "$libdir/libtcpmodbus.dll.a"
    expect_file "$libdir/tcpmodbus.def"

    step "Windows host with find_package(TcpModbus)"
    cmake -S "$here/host" -B "$work/cmake-host" \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_FIND_ROOT_PATH="$prefix" \
      -DCMAKE_PREFIX_PATH=/ >"$work/cmake-host.log" 2>&1 ||
      { cat "$work/cmake-host.log"; fail "find_package(TcpModbus 1.0)"; }
    cmake --build "$work/cmake-host" >"$work/cmake-build.log" 2>&1 ||
      { cat "$work/cmake-build.log"; fail "building the find_package host"; }
    # Windows finds a DLL next to the program.
    cp "$prefix/bin/tcpmodbus.dll" "$work/cmake-host/"
    expect_host_ok "$runner" "$work/cmake-host/tcpmodbus-host.exe"
    ;;
  *) fail "unknown mode $mode" ;;
esac
echo "install checks passed ($mode)"
