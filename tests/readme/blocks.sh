# Reading the documented examples out of the pages. Source it; do not run it.
# Needs root: the project root.

# The fenced block after the line $2 of page $1.
block_after() {
  awk -v marker="$2" 'found == 0 { if ($0 == marker) found = 1; next }
    /^```/ { if (found++ == 2) exit; next } found == 2' "$root/$1"
}

# Fails unless every line of the block after the line $3 of page $2 is in
# the text $1.
expect_lines_of() {
  local output="$1" page="$2" marker="$3" expected line
  expected="$(block_after "$page" "$marker")"
  [ -n "$expected" ] || { echo "FAIL: $page says nothing after: $marker" >&2; return 1; }
  while IFS= read -r line; do
    grep -qF -- "$line" <<<"$output" ||
      { echo "$output"; echo "FAIL: $page: not printed: $line" >&2; return 1; }
  done <<<"$expected"
}
