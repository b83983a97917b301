#!/usr/bin/env bash
# The documented examples as a newcomer meets them: the README's Python
# example, the C example of docs/c-interface.md and the C# example of
# docs/csharp.md are the files in examples/; the commands each page gives, run from the project root exactly
# as written, succeed (what they leave running is stopped), and they print the
# lines the page says; so do the examples of docs/tools.md and docs/maps.md
# (whose map file is examples/module.csv). The README's C++
# host compiles against the public header.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"

# shellcheck source=blocks.sh
. "$root/tests/readme/blocks.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Page, the line that introduces the commands to run, the line that
# introduces what they print, and the line that introduces commands to run
# before them (none when not given).
check_commands() {
  local page="$1" run="$2" prints="$3" before="${4:-}" commands output
  commands="$(block_after "$page" "$run")"
  [ -n "$commands" ] || fail "no commands in $page after: $run"
  [ -z "$before" ] || commands="$(block_after "$page" "$before")"$'\n'"$commands"
  # As on the fresh Debian machine the pages speak of: python3 is Debian's,
  # whatever interpreter (pyenv's, say) comes earlier on this PATH.
  output="$(cd "$root" && PATH="/usr/bin:$PATH" bash -c "set -e; trap 'kill \$(jobs -p) 2>/dev/null || true' EXIT
$commands" 2>&1)" || { echo "$output"; fail "the commands of $page"; }
  expect_lines_of "$output" "$page" "$prints" || fail "the commands of $page"
}

# Page, example file, the line that introduces its run, the line that
# introduces what the run prints.
check_page() {
  local page="$1" example="$2"
  diff -u "$root/$example" <(block_after "$page" "\`$example\`:") ||
    fail "$page shows another $example"
  check_commands "$page" "$3" "$4"
}

check_page README.md examples/read_registers.py \
  "Run it against the simulated module, from the project root:" \
  "It prints (the trace goes to \`logging\`, which this example leaves unconfigured):"
check_page docs/c-interface.md examples/read_registers.c \
  "Run it against the simulated module, from the project root:" \
  "Besides the library's trace, it prints:"
check_page docs/csharp.md examples/ReadRegisters.cs \
  "Run it against the simulated module, from the project root:" \
  "Besides the library's trace, it prints:"

# The examples of docs/tools.md, each after the build the page begins with.
tools_build="tools put on PATH:"
check_commands docs/tools.md \
  "Against the simulated module, on a port above 1024 (so \`--port\`):" \
  "It prints (\`mask-write\` nothing):" "$tools_build"
check_commands docs/tools.md \
  "A module with ten undeclared registers and at most 8 registers a request:" \
  "Among the module's log lines, that prints:" "$tools_build"
check_commands docs/tools.md "A host through a 10 ms round trip:" \
  "Besides the connection lines, that prints:" "$tools_build"

check_commands docs/maps.md \
  "Against the simulated module, its spare register undeclared, 8 registers a request at most:" \
  "the requests of a new connection, which knows of no hole yet. That prints:" \
  "From the project root, with the tools built and put on PATH:"
diff -u "$root/examples/module.csv" <(block_after docs/maps.md "A pump's map, \`examples/module.csv\`:") ||
  fail "docs/maps.md shows another examples/module.csv"

host="$(block_after README.md "A C++ host:")"
[ -n "$host" ] || fail "no C++ host in the README"
c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$root/include" -x c++ - <<<"$host" ||
  fail "the README's C++ host does not compile"

echo "ok: the documented examples are the files, run as written, print what they say, and compile"
