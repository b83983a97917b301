# Shared helpers for the scripts in this folder. Source it; do not run it.

# Installs the Debian packages named that are missing, when running as root.
# Without root it only reports what is missing and fails.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
      missing+=("$package")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
}

# Runs a command where it may bind port 502: directly as root, otherwise in a
# private user and network namespace with loopback up.
run_with_port_502() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif unshare -rn true 2>/dev/null; then
    unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "$@"
  else
    echo "port 502 needs root or user namespaces (unshare -rn); neither is available" >&2
    return 1
  fi
}

project_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# Starts the simulated module and waits for it to listen:
#   start_module SIM ADDRESS PORT LOG [more module options, e.g. --quiet]
# PORT 0 lets the system choose one. The module's standard error goes to the
# file LOG. Sets module_pid and module_port (the port it listens on). Returns
# 0 once the module says it listens; 77 when the bind was refused for want of
# permission (a port below 1024 needs root or a private network namespace,
# see run_with_port_502); 1 when it ended or did not listen within 30 s, with
# what it said on standard error.
start_module() {
  local sim="$1" address="$2" port="$3" log="$4"
  shift 4
  module_port=""
  # Made here, so that the first look at it never races the module's start.
  : >"$log"
  "$sim" --address "$address" --port "$port" "$@" 2>"$log" &
  module_pid=$!
  # The module prints its listening line once it accepts connections; wait
  # for that line, not for a time.
  local ready="listening on ${address//./\\.}:[0-9]*" line="" tries=0
  while [ "$tries" -lt 600 ]; do
    if line="$(grep -m 1 -o "$ready" "$log")"; then
      module_port="${line##*:}"
      return 0
    fi
    kill -0 "$module_pid" 2>/dev/null || break
    sleep 0.05
    tries=$((tries + 1))
  done
  stop_module 2>/dev/null || true
  if grep -q "Permission denied" "$log"; then
    echo "SKIP: the module cannot bind $address:$port: run as root or in unshare -rn" >&2
    return 77
  fi
  echo "FAIL: the module did not listen on $address:$port; it said:" >&2
  cat "$log" >&2
  return 1
}

# Stops the module that start_module started: its exit status (0 when it
# stopped cleanly on the signal), or 0 when none runs.
stop_module() {
  [ -n "${module_pid:-}" ] || return 0
  local status=0
  kill "$module_pid" 2>/dev/null || true
  wait "$module_pid" || status=$?
  module_pid=""
  return "$status"
}

# How busy each core was while a run lasted, from /proc/stat: a pinned run
# keeps its own core busy, so what the other cores did shows how quiet the
# machine was. cpu_times before the run, busy_since with its output after.
cpu_times() { awk '/^cpu[0-9]/ {t = 0; for (i = 2; i <= NF; i++) t += $i; print $1, t, $5 + $6}' /proc/stat; }
busy_since() { # earlier cpu_times [the run's own share of all cores, %]
  cpu_times | awk -v own="${2:-}" 'NR == FNR {t[$1] = $2; i[$1] = $3; next}
    {dt = $2 - t[$1]; busy = dt > 0 ? 100 * (1 - ($3 - i[$1]) / dt) : 0
     line = line sprintf("%s %s %.0f%%", sep, $1, busy); sep = ","}
    END {if (own != "") line = line sprintf("; the run itself: %s%% of all cores", own)
         print "cores busy during the run:" line}' <(echo "$1") -
}
# The share of all cores, in %, that the children this shell waited for
# since `times >FILE` (with theirs in turn) used since `start` (date
# +%s.%N). Called in the shell itself, not in $(...), whose subshell has no
# children of its own.
children_share_since() { # FILE start: prints the share to FILE.share
  times >"$1.now"
  awk -v t0="$2" -v t1="$(date +%s.%N)" -v n="$(nproc)" '
    FNR == 2 {gsub(/[ms]/, " "); s[++k] = $1 * 60 + $2 + $3 * 60 + $4}
    END {printf "%.0f", 100 * (s[2] - s[1]) / ((t1 - t0) * n)}' "$1" "$1.now" >"$1.share"
}
