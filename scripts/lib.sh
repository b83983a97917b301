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
