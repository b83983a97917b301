#!/usr/bin/env bash
# The documented examples as a newcomer meets them: the README's Python
# example, the C example of docs/c-interface.md and the C# example of
# docs/csharp.md are the files in examples/; the commands each page gives, run from the project root exactly
# as written, succeed (what they leave running is stopped), and they print the
# lines the page says. The README's C++ host compiles against the public
# header.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"

# shellcheck source=blocks.sh
. "$root/tests/readme/blocks.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Page, example file, the line that introduces its run, the line that
# introduces what the run prints.
check_page() {
  local page="$1" example="$2" run="$3" prints="$4" commands output
  diff -u "$root/$example" <(block_after "$page" "\`$example\`:") ||
    fail "$page shows another $example"
  commands="$(block_after "$page" "$run")"
  [ -n "$commands" ] || fail "no commands in $page"
  # As on the fresh Debian machine the pages speak of: python3 is Debian's,
  # whatever interpreter (pyenv's, say) comes earlier on this PATH.
  output="$(cd "$root" && PATH="/usr/bin:$PATH" bash -c "set -e; trap 'kill \$(jobs -p) 2>/dev/null || true' EXIT
$commands" 2>&1)" || { echo "$output"; fail "the commands of $page"; }
  expect_lines_of "$output" "$page" "$prints" || fail "the commands of $page"
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

host="$(block_after README.md "A C++ host:")"
[ -n "$host" ] || fail "no C++ host in the README"
c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$root/include" -x c++ - <<<"$host" ||
  fail "the README's C++ host does not compile"

echo "ok: the documented examples are the files, run as written, print what they say, and compile"
