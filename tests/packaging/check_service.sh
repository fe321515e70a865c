#!/usr/bin/env bash
# The service unit as installed: systemd's verifier accepts it for a line
# (its manual page found where the package puts it), and its command line,
# with each OPTIONS line of the example configuration, is one tessaly-record
# accepts. Skipped (77) where systemd-analyze is absent.
#   check_service.sh <build dir> <example configuration>
set -euo pipefail
build=$1 example=$2

command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit 77; }
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null
unit=$prefix/lib/systemd/system/tessaly-record@.service
mkdir "$prefix/units"
instance=$prefix/units/tessaly-record@line1.service
cp "$unit" "$instance"
MANPATH=$prefix/share/man systemd-analyze verify "$instance" || fail "systemd-analyze verify"

# The command as systemd would run it for line1, each example's options in
# turn; --help makes the program check its arguments and stop.
command=$(sed -n 's/^ExecStart=//p' "$unit")
while IFS= read -r line; do
  options=${line#\#}
  options=${options#OPTIONS=}
  expanded=${command//%S/$prefix/state}
  expanded=${expanded//%i/line1}
  # shellcheck disable=SC2086 # split on spaces as systemd splits $OPTIONS
  set -- ${expanded//\$OPTIONS/$options} --help
  "$@" >/dev/null || fail "the service's command refuses: $options"
done < <(grep -E '^#?OPTIONS=' "$example")

[ "$failures" -eq 0 ] || exit 1
echo "verified $(basename "$unit") and $(grep -cE '^#?OPTIONS=' "$example") example option lines"
