#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build Chanwiz natively (unit tests),
# cross-build Chanwiz.exe with MinGW-w64, run it under Wine + Xvfb, and make a
# release (zip, MSI).
#
# Idempotent and non-interactive: checks every package with dpkg-query first and,
# only if something is missing, runs `apt-get update` once and then
# `apt-get install -y --no-install-recommends` for the missing packages only.
#
# Options (environment):
#   CHANWIZ_DEPS_NATIVE_ONLY=1  only the native build/test packages (no MinGW, Wine, X)
#   CHANWIZ_DEPS_DRY_RUN=1      print what would be installed, change nothing
set -euo pipefail
exec </dev/null

export DEBIAN_FRONTEND=noninteractive
export APT_LISTCHANGES_FRONTEND=none
export NEEDRESTART_MODE=a

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=(sudo -n -E)
    else
        echo "install-deps: must run as root (or with passwordless sudo)" >&2
        exit 1
    fi
fi

# Native build + unit tests.
PKGS=(
    cmake
    make
    g++
    libgtest-dev
    googletest
    python3
    # JSON, header-only; the MinGW builds use the same headers
    # (cmake/NlohmannJson.cmake).
    nlohmann-json3-dev
)

if [ "${CHANWIZ_DEPS_NATIVE_ONLY:-0}" != "1" ]; then
    PKGS+=(
        # MinGW-w64 cross compilers. The shipped programs are 32-bit, built in the
        # win32 thread model, whose runtime loads on Windows 98 SE (see
        # cmake/toolchains/mingw-common.cmake); the 64-bit test tools use the
        # posix one. The plain g++-mingw-w64-* metapackages would bring both
        # variants of each (~470 MB more).
        g++-mingw-w64-i686-win32
        g++-mingw-w64-x86-64-posix
        binutils-mingw-w64-x86-64
        binutils-mingw-w64-i686
        # Wine 8.0 (64-bit). The loader is /usr/lib/wine/wine64 (not on PATH);
        # the small `wine` package adds /usr/bin/wine and wrapper scripts.
        wine64
        wine
        # Its 32-bit half, which runs the 32-bit programs (needs the i386
        # architecture, enabled below before apt-get update).
        wine32:i386
        # Fonts: Wine's own (Tahoma, MS Sans Serif replacements) and Liberation
        # (metric-compatible "Arial"); otherwise dialogs render with fallback fonts.
        fonts-wine
        fonts-liberation
        # X libraries winex11.drv loads at run time (recommends of libwine).
        libxrender1
        libxcursor1
        libxi6
        libxrandr2
        libxinerama1
        libxcomposite1
        libxfixes3
        # Headless X server + screenshots: xwd (x11-apps), converted to PNG by
        # scripts/wine/xwd2png.py (python3 stdlib only).
        xvfb
        xauth
        x11-apps
        # The release (scripts/release.sh): the administrators' package is
        # built by wixl; msiinfo, which reads its tables back, is in msitools.
        wixl
        msitools
        zip
    )
fi

is_installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)" = "installed" ]
}

MISSING=()
for p in "${PKGS[@]}"; do
    if is_installed "$p"; then
        :
    else
        MISSING+=("$p")
    fi
done

if [ "${#MISSING[@]}" -eq 0 ]; then
    echo "install-deps: all ${#PKGS[@]} packages already installed"
    exit 0
fi

echo "install-deps: missing: ${MISSING[*]}"
if [ "${CHANWIZ_DEPS_DRY_RUN:-0}" = "1" ]; then
    exit 0
fi

start=$(date +%s)

ADDED_I386=0
if [ "${CHANWIZ_DEPS_NATIVE_ONLY:-0}" != "1" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: enabling i386 architecture for wine32"
    "${SUDO[@]}" dpkg --add-architecture i386
    ADDED_I386=1
fi

# One `apt-get update`; retried (bounded) only if a mirror answers badly, e.g.
# "File has unexpected size ... Mirror sync in progress?".
for attempt in 1 2 3; do
    echo "install-deps: apt-get update (attempt $attempt)"
    if "${SUDO[@]}" timeout 600 apt-get update -q; then
        break
    fi
    if [ "$attempt" -eq 3 ]; then
        echo "install-deps: apt-get update kept failing; trying the install with the lists we have" >&2
    else
        sleep 15
    fi
done

echo "install-deps: apt-get install -y --no-install-recommends ${MISSING[*]}"
rc=0
"${SUDO[@]}" timeout 1800 apt-get install -y -q --no-install-recommends \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold \
    "${MISSING[@]}" || rc=$?
if [ "$rc" -ne 0 ]; then
    echo "install-deps: apt-get install failed (rc=$rc)" >&2
    # Do not leave a half-set-up i386 architecture behind: its package lists would
    # make every later `apt-get update` slower (or fail, if the mirror lacks them).
    if [ "$ADDED_I386" = "1" ] && [ -z "$(dpkg-query -W -f='${binary:Package}\n' '*:i386' 2>/dev/null)" ]; then
        echo "install-deps: removing the i386 architecture again" >&2
        "${SUDO[@]}" dpkg --remove-architecture i386 || true
    fi
    exit "$rc"
fi

end=$(date +%s)
echo "install-deps: installed ${#MISSING[@]} requested package(s) in $((end - start)) s"
