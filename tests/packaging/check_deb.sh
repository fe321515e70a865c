#!/usr/bin/env bash
# Builds the Debian package from the build and reads its metadata back: name,
# version, architecture, the shared libraries' packages it depends on (found
# by dpkg-shlibdeps) and the files it carries.
#   check_deb.sh <build dir> <version> <expected file list> <Wireshark folder>
#                <maintainer> <homepage>
set -euo pipefail
build=$1 version=$2 expected=$3 wireshark=$4 maintainer=$5 homepage=$6

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log" >&2; exit 1; }
arch=$(dpkg --print-architecture)
deb=$out/tessaly_${version}_${arch}.deb
[ -f "$deb" ] || { ls "$out" >&2; fail "no $deb"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tessaly ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not '$version'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
# The project's own, as the program names itself (presentation/product.h).
[ "$(field Maintainer)" = "$maintainer" ] || fail "Maintainer is '$(field Maintainer)', not '$maintainer'"
[ "$(field Homepage)" = "$homepage" ] || fail "Homepage is '$(field Homepage)', not '$homepage'"
[ "$(field Suggests)" = "tshark | wireshark" ] || fail "Suggests is '$(field Suggests)'"
depends=$(field Depends)
depended=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")   # names only, one a line
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins; do
  grep -Fqx "$needed" <<<"$depended" || fail "Depends lacks $needed: $depends"
done

if ! diff -u <(sed "s|@WIRESHARK_DIR@|$wireshark|; s|^|usr/|" "$expected" | LC_ALL=C sort) \
    <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort); then
  fail "the package's files differ from $expected"
fi

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$deb"): Depends: $depends"
