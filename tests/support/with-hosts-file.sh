#!/bin/sh
# Runs a command with a hosts file of its own (hosts-two-addresses beside
# this script, bound over /etc/hosts in a private mount namespace), so that
# the system's own name lookup is tested without any resolver of the
# machine. As root the namespace is a plain one; otherwise a user namespace
# (unshare -rm). Exit 77 (skipped) when neither can be made.
#   with-hosts-file.sh COMMAND...
hosts="$(cd "$(dirname "$0")" && pwd)/hosts-two-addresses"
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  namespace=-m
elif unshare -rm true 2>/dev/null; then
  namespace=-rm
else
  echo "SKIP: no private mount namespace (needs root or unshare -rm)" >&2
  exit 77
fi
exec unshare "$namespace" sh -c \
  'mount --bind "$0" /etc/hosts && TCPMODBUS_TEST_HOSTS_FILE="$0" exec "$@"' \
  "$hosts" "$@"
