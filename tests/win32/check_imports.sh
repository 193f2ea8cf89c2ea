#!/usr/bin/env bash
# Fails when a Windows executable imports any DLL that is not part of Windows
# itself: Chanwiz.exe is one file that must start on a bare system, so the
# C++ runtime, libgcc and winpthread have to be linked in statically.
#
# usage: check_imports.sh EXE
# Prints the imported DLLs; exit status 0 only when every one is allowed.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 EXE" >&2
    exit 2
fi
exe=$1

# Either MinGW objdump reads both PE32 and PE32+.
objdump=""
for tool in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
    if command -v "$tool" >/dev/null 2>&1; then objdump=$tool; break; fi
done
if [ -z "$objdump" ]; then
    echo "check_imports: no MinGW objdump found (scripts/install-deps.sh installs it)" >&2
    exit 2
fi

if ! dump=$("$objdump" -p "$exe" 2>&1); then
    echo "FAIL: $objdump cannot read $exe: $dump"
    exit 1
fi
dlls=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print $3}' | sort -u)
if [ -z "$dlls" ]; then
    echo "FAIL: $exe imports no DLL at all (not a linked Windows program?)"
    exit 1
fi

# Windows' own DLLs the wizard needs, and the system C runtime.
allowed='^(kernel32|user32|gdi32|advapi32|setupapi|ole32|oleaut32|comctl32|msvcrt|api-ms-win-crt-[a-z0-9-]+-l[0-9]+-[0-9]+-[0-9]+)\.dll$'
bad=0
for dll in $dlls; do
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    if printf '%s\n' "$lower" | grep -Eq "$allowed"; then
        echo "ok:   $dll"
    else
        echo "FAIL: $dll is not a Windows system DLL"
        bad=1
    fi
done
exit $bad
