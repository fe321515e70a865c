#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds, and then either
# starts Tessaly (run), runs every test headless (test) or makes the Debian
# package (package).
#   tools/dev.sh run | test [--sanitize | --tsan] | package
# run builds only the programs (window, recorder, Wireshark interface, traffic
# tool) and starts the window program;
# test builds everything (tests, benchmarks, icons, manual pages), with every
# compiler warning an error, and runs every test;
# test --sanitize builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs them;
# test --tsan builds the session, recorder and window tests with
# ThreadSanitizer in build-tsan/ and runs those of the session, the recorder
# and two lines;
# package builds only what the package holds, in a build folder of its own
# (build-package/) without tests or benchmarks, and runs CPack.
# Works as root or as a user who may use sudo.
set -euo pipefail

cd "$(dirname "$0")/.."

usage() {
  echo "usage: tools/dev.sh run|test [--sanitize|--tsan]|package" >&2
  exit 2
}

what=${1:-}
how=${2:-}
case "$what" in
  run|package) [ $# -le 1 ] || usage ;;
  test) [ $# -le 2 ] || usage
        case "$how" in ""|--sanitize|--tsan) ;; *) usage ;; esac ;;
  *) usage ;;
esac

packages=(
  cmake ninja-build g++ pkg-config tzdata
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  # The packaging tests: the validators, and dpkg-shlibdeps and file, which
  # CPack uses to find the package's dependencies.
  desktop-file-utils appstream dpkg-dev file
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

if [ "$what" = package ]; then
  echo "Building what the package holds (no tests or benchmarks) into build-package/"
  cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF >/dev/null
  cmake --build build-package
  cd build-package
  cpack -G DEB
  exit
fi

if [ "$how" = --sanitize ] || [ "$how" = --tsan ]; then
  exec tools/sanitize.sh "${how#--}"
fi

if [ "$what" = test ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_WARNINGS_AS_ERRORS=ON >/dev/null
  echo "Building everything (program, traffic tool, tests, benchmarks), warnings as errors"
  cmake --build build
  cd build
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300
  exit
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
echo "Building tessaly, tessaly-record, tessaly-extcap and tessaly-traffic only (tools/dev.sh test builds everything)"
cmake --build build --target tessaly tessaly-record tessaly-extcap tessaly-traffic

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "Built build/app/tessaly, build/recorder/tessaly-record, build/extcap/tessaly-extcap and build/tools/traffic/tessaly-traffic." >&2
  echo "Tessaly is a desktop program and needs a graphical display (DISPLAY or WAYLAND_DISPLAY is unset)." >&2
  exit 1
fi

exec build/app/tessaly
