#!/bin/sh
# Makes the Debian packages of a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (cpack -G DEB), tcpmodbus, tcpmodbus-tools
# (when the tools are built) and python3-tcpmodbus, and checks what they
# hold and need.
#   check-deb.sh <build dir>
set -eu
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -f "$build"/tcpmodbus_*.deb "$build"/tcpmodbus-tools_*.deb "$build"/python3-tcpmodbus_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) ||
  { cat "$build/cpack.log"; fail "cpack -G DEB"; }
deb="$(ls "$build"/tcpmodbus_*_*.deb)"
echo "-- $deb"

[ "$(dpkg-deb -f "$deb" Package)" = tcpmodbus ] || fail "package name"
[ -n "$version" ] && [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
  fail "package version"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
case "$depends" in
  *libc6*) ;;
  *) fail "no dependencies found by dpkg-shlibdeps" ;;
esac
# The library needs nothing but the C and C++ runtime.
! dpkg -I "$deb" | grep -i libmodbus || fail "the library's package mentions libmodbus"

contents="$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)"
for wanted in \
  usr/include/tcpmodbus/TCPModbusIntf.h \
  usr/include/tcpmodbus/export.h \
  usr/include/tcpmodbus/tcpmodbus.h \
  usr/include/tcpmodbus/Values.h \
  "usr/lib/$multiarch/libtcpmodbus.so.$version" \
  "usr/lib/$multiarch/libtcpmodbus.so.1" \
  "usr/lib/$multiarch/libtcpmodbus.so" \
  "usr/lib/$multiarch/cmake/TcpModbus/TcpModbusConfig.cmake" \
  "usr/lib/$multiarch/cmake/TcpModbus/TcpModbusConfigVersion.cmake" \
  "usr/lib/$multiarch/cmake/TcpModbus/TcpModbusTargets.cmake" \
  "usr/lib/$multiarch/pkgconfig/tcpmodbus.pc"; do
  echo "$contents" | grep -qx "$wanted" || fail "not in the package: $wanted"
done
! echo "$contents" | grep -q "^usr/bin/." || fail "programs in the library's package"
# Nothing of the tests or of GoogleTest.
strays="$(echo "$contents" | grep -iE 'gtest|gmock|_tests?$|/tests/' || true)"
[ -z "$strays" ] || fail "test files in the package: $strays"
! echo "$contents" | grep -q python || fail "Python files in the library's package"

# The tools: on their own, needing this very library and libmodbus.
tools_deb="$(ls "$build"/tcpmodbus-tools_*.deb 2>/dev/null || true)"
if grep -q "^TCPMODBUS_BUILD_TOOLS:BOOL=ON" "$build/CMakeCache.txt"; then
  [ -n "$tools_deb" ] || fail "no tcpmodbus-tools package"
  echo "-- $tools_deb"
  [ "$(dpkg-deb -f "$tools_deb" Package)" = tcpmodbus-tools ] || fail "tools package name"
  tools_depends="$(dpkg-deb -f "$tools_deb" Depends)"
  echo "Depends: $tools_depends"
  case "$tools_depends" in
    *"tcpmodbus (= $version)"*libmodbus5*) ;;
    *) fail "tcpmodbus-tools depends on: $tools_depends" ;;
  esac
  tools_contents="$(dpkg-deb -c "$tools_deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)"
  [ "$tools_contents" = "$(printf 'usr/bin/%s\n' tcpmodbus-cli tcpmodbus-delay-proxy tcpmodbus-sim)" ] ||
    fail "tcpmodbus-tools holds: $tools_contents"
else
  [ -z "$tools_deb" ] || fail "a tools package from a build without tools"
fi

# The Python package: on its own, for every architecture, needing python3
# and this very library.
python_deb="$(ls "$build"/python3-tcpmodbus_*_all.deb)"
echo "-- $python_deb"
[ "$(dpkg-deb -f "$python_deb" Package)" = python3-tcpmodbus ] || fail "Python package name"
[ "$(dpkg-deb -f "$python_deb" Depends)" = "python3, tcpmodbus (= $version)" ] ||
  fail "Python package depends on: $(dpkg-deb -f "$python_deb" Depends)"
python_contents="$(dpkg-deb -c "$python_deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)"
# The package's own files, and the module the install writes.
python_files="$(cd "$(dirname "$0")/../../python/tcpmodbus" && ls ./*.py py.typed | sed 's|^\./||')"
[ "$python_contents" = "$(printf 'usr/lib/python3/dist-packages/tcpmodbus/%s\n' \
  $python_files _installed.py | sort)" ] ||
  fail "the Python package holds: $python_contents"

# The packaged library keeps its SONAME after stripping, and the packaged
# pkg-config file works from wherever the tree lies.
work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-deb.XXXXXX")"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -x "$python_deb" "$work/root"
[ -z "$tools_deb" ] || dpkg-deb -x "$tools_deb" "$work/root"
sh "$here/check-so.sh" soname "$work/root/usr/lib/$multiarch/libtcpmodbus.so.$version" >/dev/null ||
  fail "SONAME of the packaged library"
sh "$here/check-so.sh" exports "$work/root/usr/lib/$multiarch/libtcpmodbus.so.$version" >/dev/null ||
  fail "exports of the packaged library"
PKG_CONFIG_PATH="$work/root/usr/lib/$multiarch/pkgconfig"
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
${CXX:-c++} -std=c++17 $(pkg-config --cflags tcpmodbus) "$here/host/main.cpp" \
  -o "$work/host" $(pkg-config --libs tcpmodbus) \
  -Wl,-rpath,"$(pkg-config --variable=libdir tcpmodbus)" ||
  fail "building a host against the unpacked package"
"$work/host" | grep -q "host ok" || fail "host against the unpacked package"
# The unpacked Python package and programs find the unpacked library by
# themselves.
reported="$(env -u LD_LIBRARY_PATH PYTHONPATH="$work/root/usr/lib/python3/dist-packages" \
  PYTHONDONTWRITEBYTECODE=1 python3 -c \
  'import tcpmodbus; print(tcpmodbus.__version__, tcpmodbus._library.LIBRARY._name)')" ||
  fail "importing the unpacked Python package"
[ "$reported" = "$version $work/root/usr/lib/$multiarch/libtcpmodbus.so.1" ] ||
  fail "the unpacked Python package reports version and library '$reported'"
if [ -n "$tools_deb" ]; then
  env -u LD_LIBRARY_PATH "$work/root/usr/bin/tcpmodbus-cli" --help >/dev/null ||
    fail "the unpacked tcpmodbus-cli"
fi
echo "Debian package checks passed"
