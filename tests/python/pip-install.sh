#!/usr/bin/env bash
# The documented pip install from a clean copy of the tracked tree into a
# fresh virtual environment; the copy stays as it was, the package loads the
# library inside it and has the CMake project's version, and the README's
# example runs from another folder with no environment variable. Without the
# wheel package, setup.py stops with what is missing before building.
#   pip-install.sh <tcpmodbus-sim>
set -euo pipefail
simulator="$(realpath "$1")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=../readme/blocks.sh
. "$root/tests/readme/blocks.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/tcpmodbus-pip.XXXXXX")"
trap 'kill "${sim_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/src" "$work/elsewhere"
git -C "$root" ls-files -z | tar -C "$root" --null -T - -cf - | tar -C "$work/src" -xf -
(cd "$work/src" && find . | sort) >"$work/before"

echo "-- python3 -m pip install --no-build-isolation . (in a fresh venv)"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
python="$work/venv/bin/python"
(cd "$work/src" && "$python" -m pip install --no-build-isolation . >"$work/pip.log" 2>&1) ||
  { cat "$work/pip.log"; fail "pip install"; }
echo "-- the same without the wheel package (a venv of its own: pip and setuptools alone)"
/usr/bin/python3 -m venv "$work/bare"
bare="$work/bare/bin/python"
if ! "$bare" -c 'import setuptools' 2>/dev/null || "$bare" -c 'import wheel' 2>/dev/null ||
  "$bare" -c 'import setuptools.command.bdist_wheel' 2>/dev/null; then
  echo "skip: the fresh venv has no setuptools, or a wheel command of its own"
elif (cd "$work/src" && "$bare" -m pip install --no-build-isolation . >"$work/bare.log" 2>&1) ||
  ! grep -q "has no wheel command of its own" "$work/bare.log" || grep -q "running cmake" "$work/bare.log"; then
  cat "$work/bare.log"; fail "without wheel: no message naming it before anything is built"
fi
(cd "$work/src" && find . | sort) >"$work/after"
diff -u "$work/before" "$work/after" || fail "the build left files in the source tree"

cd "$work/elsewhere"
clean=(env -u LD_LIBRARY_PATH -u PYTHONPATH -u PYTHONHOME PYTHONDONTWRITEBYTECODE=1)
version="$(sed -n 's/^project(TcpModbus VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
report="$("${clean[@]}" "$python" -c '
import importlib.metadata, tcpmodbus
print(tcpmodbus.__version__, importlib.metadata.version("tcpmodbus"), tcpmodbus._library.LIBRARY._name)')" ||
  fail "import tcpmodbus from another folder"
case "$report" in
  "$version $version $work/venv/lib/"*/site-packages/tcpmodbus/libtcpmodbus.so.1) ;;
  *) fail "__version__, pip's version, library: $report (CMake's version: $version)" ;;
esac

echo "-- the README's Python example, from another folder"
"$simulator" --address 127.0.54.4 --port 0 --quiet 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 50); do
  grep -q "listening on" "$work/sim.log" && break
  sleep 0.1
done
port="$(sed -n 's/.*listening on 127\.0\.54\.4:\([0-9]*\).*/\1/p' "$work/sim.log")"
[ -n "$port" ] || { cat "$work/sim.log"; fail "the simulated module did not start"; }
output="$("${clean[@]}" "$python" "$work/src/examples/read_registers.py" 127.0.54.4 "$port" 2>&1)" ||
  { echo "$output"; fail "the README's example"; }
expect_lines_of "$output" README.md \
  "It prints (the trace goes to \`logging\`, which this example leaves unconfigured):" ||
  fail "the README's example after the pip install"
echo "ok: pip install from a clean copy, the README's example from another folder"
