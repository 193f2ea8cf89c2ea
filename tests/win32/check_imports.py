#!/usr/bin/env python3
"""Fails when a Windows program could not load on Windows 98 SE: an import from
a non-system DLL or one windows-api-minimums.tsv (beside this file) lacks or
marks 'no'/'unknown', or a PE header asking for more than 4.0 ('stub' imports
load and fail when called: notes).

usage: check_imports.py EXE...   prints every import; exit 0 only when all pass
"""
import os
import re
import shutil
import subprocess
import sys

SYSTEM_DLLS = re.compile(r'(kernel32|user32|gdi32|advapi32|setupapi|ole32|oleaut32|comctl32|msvcrt)\.dll')
HEADER = {'MajorOSystemVersion': '4', 'MinorOSystemVersion': '0',
          'MajorSubsystemVersion': '4', 'MinorSubsystemVersion': '0'}


def table():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'windows-api-minimums.tsv')
    with open(path, encoding='utf-8') as f:
        head, *rows = [line.rstrip('\n').split('\t') for line in f if line.strip()]
    col = head.index('loads_on_98se')
    return {(r[0].lower(), r[1]): r[col] for r in rows}


def check(objdump, exe, rows):
    dump = subprocess.run([objdump, '-p', exe], capture_output=True, text=True)
    if dump.returncode != 0:
        return [f'FAIL: {exe}: {objdump} cannot read it: {dump.stderr.strip()}']
    out, dll, count = [], None, 0
    for line in dump.stdout.splitlines():
        field = line.split()
        if field[:1] and field[0] in HEADER and field[1] != HEADER[field[0]]:
            out.append(f'FAIL: {exe}: {field[0]} is {field[1]}, not {HEADER[field[0]]}')
        if line.strip().startswith('DLL Name:'):
            dll = field[2]
            if not SYSTEM_DLLS.fullmatch(dll.lower()):
                out.append(f'FAIL: {exe}: {dll} is not a Windows system DLL')
        elif dll and re.match(r'\t[0-9a-f]+\t', line):
            count += 1
            name = field[2] if len(field) > 2 else f'ordinal {field[1]}'
            verdict = rows.get((dll.lower(), name))
            out.append({None: f'FAIL: {exe}: {dll} {name} has no row in the table',
                        'yes': f'ok:   {dll} {name}',
                        'stub': f'note: {dll} {name} (a stub on 98 SE: loads, fails when called)'}.get(
                verdict, f'FAIL: {exe}: {dll} {name} is {verdict!r} on Windows 98 SE'))
        elif not line.strip():
            dll = None
    if count == 0:
        out.append(f'FAIL: {exe} imports nothing (not a linked Windows program?)')
    return out


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    objdump = shutil.which('i686-w64-mingw32-objdump') or shutil.which('x86_64-w64-mingw32-objdump')
    if not objdump:
        sys.exit('check_imports: no MinGW objdump (scripts/install-deps.sh installs it)')
    rows, failed = table(), False
    for exe in sys.argv[1:]:
        print(f'== {exe}')
        for line in check(objdump, exe, rows):
            print(line)
            failed |= line.startswith('FAIL')
    sys.exit(1 if failed else 0)
