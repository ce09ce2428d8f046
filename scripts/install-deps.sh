#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need,
# but only those that are missing. Run as root on Debian 12 or later.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins
  # SQLite's own interface, the library Qt's driver uses
  libsqlite3-dev
  qt6-multimedia-dev qt6-webengine-dev libgl-dev fonts-dejavu-core
  # the charts of the numbers window
  qt6-charts-dev
  # registrable domains of every ending: the library and Debian's copy of the list
  libpsl-dev publicsuffix
  # telephone numbers of every country: parsing, validation, E.164 (with protobuf), and the
  # offline geocoder's places of numbers, whose locales come from ICU
  libphonenumber-dev libprotobuf-dev libicu-dev
  # the XLSX export, and unzip for its test to read the workbook back
  libxlsxwriter-dev unzip
  # tests and benchmarks: a real web server, peers and a virtual display
  nginx-light wget w3m xvfb xauth python3 time
  # the round-trip benchmark: a network namespace, TLS and the multithreaded peer
  iproute2 openssl wget2
  # the shared store's tests and benchmark: a throwaway PostgreSQL cluster
  postgresql
  # sanitizer and fuzzing builds, and the format check (clang-format 14 of Debian 12)
  clang libclang-rt-14-dev clang-format
  # the test command: a compiler cache its two GCC builds share, and a faster linker
  ccache lld
)
[[ "${1:-}" == "--minimal" ]] && packages=(cmake ninja-build g++ pkg-config qt6-base-dev
  qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins qt6-multimedia-dev
  qt6-webengine-dev libgl-dev fonts-dejavu-core qt6-charts-dev libpsl-dev publicsuffix
  libphonenumber-dev libprotobuf-dev libicu-dev libsqlite3-dev libxlsxwriter-dev)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: every package is installed"
  exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
