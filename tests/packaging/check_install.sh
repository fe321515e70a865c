#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what landed: exactly
# the expected files, a desktop entry and AppStream data the validators
# accept, icons of the sizes their folders promise, readable manual pages, and
# programs that answer --help and --version without a display.
#   check_install.sh <build dir> <version> <desktop id> <expected file list> <Wireshark folder>
# The list names the Wireshark folder (multiarch) @WIRESHARK_DIR@.
set -euo pipefail
build=$1 version=$2 id=$3 expected_list=$4 wireshark=$5

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null
expected=$prefix.expected
trap 'rm -rf "$prefix" "$expected"' EXIT
sed "s|@WIRESHARK_DIR@|$wireshark|" "$expected_list" | LC_ALL=C sort >"$expected"

if ! diff -u "$expected" <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort); then
  fail "installed files differ from $expected (- expected, + installed)"
fi

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli validate"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "the entry's Icon is not $id"
grep -qx "Exec=tessaly %f" "$prefix/share/applications/$id.desktop" || fail "the entry's Exec is not tessaly %f"
grep -qx "MimeType=application/vnd.tcpdump.pcap;application/x-pcapng;" "$prefix/share/applications/$id.desktop" ||
  fail "the entry does not declare the pcap and pcapng types"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream release is not $version"

for png in "$prefix"/share/icons/hicolor/*x*/apps/"$id.png"; do
  side=$(basename "$(dirname "$(dirname "$png")")")   # e.g. 48x48
  file -b "$png" | grep -q "^PNG image data, ${side/x/ x }, 8-bit/color RGBA" ||
    fail "$png is not a $side RGBA picture: $(file -b "$png")"
done

for page in tessaly tessaly-record tessaly-traffic; do
  gzip -dc "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1 " || fail "manual page of $page"
done

# No display: --help and --version must answer before Qt looks for one.
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
answer=$(headless "$prefix/bin/tessaly" --version) || fail "tessaly --version exits with $?"
[ "$answer" = "Tessaly $version" ] || fail "tessaly --version printed '$answer', not 'Tessaly $version'"
answer=$(headless "$prefix/bin/tessaly" --help) || fail "tessaly --help exits with $?"
grep -q -- "--version" <<<"$answer" || fail "tessaly --help does not list --version: $answer"
headless "$prefix/bin/tessaly-traffic" --help | grep -q "usage: tessaly-traffic" || fail "tessaly-traffic --help"
headless "$prefix/bin/tessaly-record" --help | grep -q "usage: tessaly-record" || fail "tessaly-record --help"
answer=$(headless "$prefix/bin/tessaly-record" --version) || fail "tessaly-record --version exits with $?"
[ "$answer" = "tessaly-record $version" ] || fail "tessaly-record --version printed '$answer'"
headless "$prefix/$wireshark/extcap/tessaly-extcap" --extcap-interfaces | grep -q "^extcap {version=$version}" ||
  fail "tessaly-extcap --extcap-interfaces"
grep -qx "ExecStart=$prefix/bin/tessaly-record .*" "$prefix/lib/systemd/system/tessaly-record@.service" ||
  fail "the service does not start $prefix/bin/tessaly-record"

[ "$failures" -eq 0 ] || exit 1
echo "installed and checked: $(wc -l <"$expected") files"
