#!/usr/bin/env bash
# Both programs import only DLLs that Windows always takes from the system folder, and a
# netapi32.dll planted beside logsmithctl is not loaded when the tool asks for the system's
# version, even with native DLLs preferred. (A planted version.dll cannot be tried here: Wine's
# own user32 imports version.dll and takes it from the program's folder before the program runs.)
#   dllPlantingTest.sh OBJDUMP LOGSMITH_EXE LOGSMITHCTL_EXE PLANTED_DLL WORK_DIR
set -euo pipefail
objdump=$1 logsmith=$2 logsmithctl=$3 planted=$4 work=$5
# Known DLLs (and ntdll, which is always the system's) that a static build may import.
known="advapi32 comdlg32 gdi32 kernel32 msvcrt ntdll ole32 oleaut32 shell32 shlwapi user32"
failures=0
for program in "$logsmith" "$logsmithctl"; do
    for dll in $("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        if [[ " $known " != *" ${dll%.dll} "* ]]; then
            echo "FAILED: $(basename "$program") imports $dll, which Windows may take from its folder"
            failures=$((failures + 1))
        fi
    done
done

rm -rf "$work" && mkdir -p "$work"
cp "$logsmithctl" "$work/logsmithctl.exe"
cp "$planted" "$work/netapi32.dll"
cd "$work"
WINEDLLOVERRIDES="netapi32=n,b;mscoree,mshtml=" wine ./logsmithctl.exe collect out.cab \
    </dev/null >/dev/null 2>&1 || true
[ -e out.cab ] || { echo "FAILED: collect wrote no archive"; failures=$((failures + 1)); }
if [ -e planted-dll-loaded ]; then
    echo "FAILED: logsmithctl collect loaded the netapi32.dll beside it"
    failures=$((failures + 1))
fi
cd / && rm -rf "$work"
echo "$failures failed"
[ "$failures" -eq 0 ]
