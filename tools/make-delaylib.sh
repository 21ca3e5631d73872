#!/usr/bin/env bash
# Makes a delay-import library for one system DLL from mingw-w64's import library of it: every
# function the import library names, loaded only at its first call.
# usage: make-delaylib.sh NM DLLTOOL i686|x86_64 IMPORT_LIBRARY DLL_NAME OUTPUT
set -euo pipefail
nm=$1 dlltool=$2 arch=$3 implib=$4 dll=$5 out=$6
def=${out%.a}.def
{
    echo "LIBRARY $dll"
    echo "EXPORTS"
    # 32-bit symbols carry C's leading underscore (and @N for stdcall); the export has neither,
    # which dlltool -k removes again from the names it imports.
    "$nm" "$implib" | sed -n 's/^[0-9a-fA-F]* I __imp_//p' |
        if [ "$arch" = i686 ]; then sed 's/^_//'; else cat; fi | sort -u
} >"$def"
"$dlltool" -k --def "$def" --dllname "$dll" --output-delaylib "$out"
