#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing,
# and any further packages named as arguments (e.g. gcovr for coverage.sh).
# With --windows first, those of the Windows cross-build (scripts/windows.sh)
# instead: mingw-w64, its zlib, the header-only libraries, Wine to run the
# programs (the package wine has the command, wine64 the 64-bit loader) and
# dpkg-dev to unpack the collector's source; for the window's smoke test
# (scripts/windows-smoke.sh) Wine's own fonts, a virtual display (xvfb-run
# needs xauth), key presses and the picture (PIL's screen grab); for the
# test suite the GoogleTest sources and the Linux tools and servers it runs
# beside Wine.
# zlib1g-dev is named although nothing includes zlib: zziplib.pc requires
# zlib.pc, and libzzip-dev does not depend on the package that has it. The
# tests make their TLS certificates with openssl; ca-certificates is the
# system's trust store HTTPS downloads verify against.
set -euo pipefail

if [ "${1:-}" = --windows ]; then
    shift
    packages=(
        cmake ninja-build make dpkg-dev
        g++-mingw-w64-x86-64-posix libz-mingw-w64-dev libcli11-dev nlohmann-json3-dev
        wine wine64 zip fonts-wine
        xvfb xauth xdotool python3-pil
        googletest python3 nginx apache2-bin openssl
        "$@"
    )
else
    packages=(
        build-essential cmake ninja-build pkg-config git
        libgc-dev libzzip-dev zlib1g-dev libgnutls28-dev libcli11-dev nlohmann-json3-dev
        libgtest-dev libgmock-dev
        qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
        python3 zip nginx apache2-bin openssl ca-certificates
        "$@"
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
# The tests run nginx from a configuration of their own: its package's system
# service is neither started by the install nor at boot. (apache2-bin brings
# no service.) Services stay forbidden to start only while this install runs.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
fi
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
if [[ " ${missing[*]} " == *" nginx "* ]] && command -v systemctl >/dev/null; then
    "${sudo_cmd[@]}" systemctl disable --quiet nginx
fi
