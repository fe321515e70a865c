#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds, and then either
# starts Tessaly (run) or runs every test headless (test).
#   tools/dev.sh run | test
# Works as root or as a user who may use sudo.
set -euo pipefail

cd "$(dirname "$0")/.."

what=${1:-}
case "$what" in
  run|test) ;;
  *) echo "usage: tools/dev.sh run|test" >&2; exit 2 ;;
esac

packages=(
  cmake ninja-build g++ pkg-config tzdata
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

if [ "$what" = run ]; then
  exec build/app/tessaly
fi
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300
