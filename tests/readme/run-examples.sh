#!/usr/bin/env bash
# The README's C and Python examples as a newcomer meets them: the programs
# it shows are the files in examples/, its commands, run from the project
# root exactly as written, succeed (what they leave running is stopped), and
# they print the lines it says.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"

# The fenced block after the README's line $1.
block_after() {
  awk -v marker="$1" 'found == 0 { if ($0 == marker) found = 1; next }
    /^```/ { if (found++ == 2) exit; next } found == 2' "$root/README.md"
}
fail() { echo "FAIL: $*" >&2; exit 1; }

for example in examples/read_registers.c examples/read_registers.py; do
  diff -u "$root/$example" <(block_after "\`$example\`:") || fail "the README shows another $example"
done
commands="$(block_after "Run both against the simulated module, from the project root:")"
[ -n "$commands" ] || fail "no commands in the README"
output="$(cd "$root" && bash -c "set -e; trap 'kill \$(jobs -p) 2>/dev/null || true' EXIT
$commands" 2>&1)" || { echo "$output"; fail "the README's commands"; }
while IFS= read -r line; do
  grep -qF -- "$line" <<<"$output" || { echo "$output"; fail "they did not print: $line"; }
done < <(block_after "Besides the library's trace, they print:")
echo "ok: the README's examples are the files, run as written and print what it says"
