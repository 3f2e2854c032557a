#!/usr/bin/env bash
# Builds the MSI, then installs, upgrades, downgrades and uninstalls it silently under Wine in a
# prefix of its own, checking files, shortcut, Add/Remove Programs entry and a user's setting.
#   msiInstallTest.sh CMAKE BUILD_DIR VERSION MSI STRIP LOGSMITH_EXE LOGSMITHCTL_EXE
set -euo pipefail
cmake=$1 build=$2 version=$3 msi=$4 strip=$5
programs=("$6" "$7")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work="$build/tests/packaging/msi-test"

export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$WINEPREFIX"

failures=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
run() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
msiexec() { # msiexec /i|/x PACKAGE: prints the exit code
    local code=0
    rm -f "$work/msiexec.log"
    wine msiexec "$1" "$(winepath -w "$2")" /qn /l*v "$(winepath -w "$work/msiexec.log")" \
        </dev/null >/dev/null 2>&1 || code=$?
    echo "$code"
}
# One line per subkey of KEY whose NAME value is Logsmith: the other values asked for, joined by |.
entries() { # KEY NAME VALUE...
    run reg query "$1" /s | awk -v names="${*:2}" '
        function flush(line, i) {
            if (v[n[1]] == "Logsmith") {
                for (i = 2; i <= count; i++) line = line (i > 2 ? "|" : "") v[n[i]]
                print line
            }
            split("", v)
        }
        BEGIN { count = split(names, n, " ") }
        /^HKEY_/ { flush() }
        match($0, /REG_[A-Z_]+ */) { v[$1] = substr($0, RSTART + RLENGTH) }
        END { flush() }'
}
uninstallKey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
arpIs() { [ "$(entries "$uninstallKey" DisplayName DisplayVersion Publisher | tr '\n' ' ')" = "$1" ]; }
productIcon() { # the one installed product's icon exists
    local icon
    icon=$(entries 'HKLM\Software\Classes\Installer\Products' ProductName ProductIcon)
    [ "$(wc -l <<<"$icon")" = 1 ] && [ -f "$(winepath -u "$icon" 2>/dev/null)" ]
}
# Wine puts the per-machine shortcut in the user's Start menu; Windows in the common one.
shortcuts() { find "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/ProgramData" -path '*/Start Menu/Programs/Logsmith.lnk'; }

# A lower version differs in the last non-zero number; a higher one in the first.
IFS=. read -r -a numbers <<<"$version"
lower=("${numbers[@]}")
for ((i = 3; i >= 0; i--)); do
    if ((lower[i] > 0)); then
        lower[i]=$((lower[i] - 1))
        break
    fi
done
lowerVersion=$(IFS=.; echo "${lower[*]}")
higherVersion="$((numbers[0] + 1)).0.0.0"

"$cmake" --build "$build" --target msi >/dev/null
"$here/../../packaging/build-msi" "$lowerVersion" "$work/lower.msi" "$strip" "${programs[@]}"
"$here/../../packaging/build-msi" "$higherVersion" "$work/higher.msi" "$strip" "${programs[@]}"
echo "MSI size: $(stat -c %s "$msi") bytes"

wineserver -p </dev/null >/dev/null 2>&1
wine wineboot --init </dev/null >/dev/null 2>&1

folder="$WINEPREFIX/drive_c/Program Files/Logsmith"
installed=(Logsmith.exe logsmithctl.exe manual.md Logsmith.png PolicyDefinitions/Logsmith.admx
    PolicyDefinitions/en-US/Logsmith.adml)
allInstalled() { for f in "${installed[@]}"; do [ -f "$folder/$f" ] || return 1; done; }

check "install $lowerVersion" [ "$(msiexec /i "$work/lower.msi")" = 0 ]
check "one entry, $lowerVersion" arpIs "$lowerVersion|Tarnwick "
check "upgrade to $version" [ "$(msiexec /i "$msi")" = 0 ]
check "one entry, $version, publisher Tarnwick" arpIs "$version|Tarnwick "
check "entry has its icon" productIcon
check "files in Program Files\\Logsmith" allInstalled
check "installed logsmithctl --version" \
    [ "$(run "$folder/logsmithctl.exe" --version)" = "logsmithctl $version" ]
check "Start menu shortcut" [ -n "$(shortcuts)" ]

check "a user's setting stored" run "$folder/logsmithctl.exe" set --scope user --mode gui \
    --file 'C:\logs\run.dmlog_x64'
check "uninstall" [ "$(msiexec /x "$msi")" = 0 ]
check "no entry" arpIs ""
check "files gone" [ ! -e "$folder" ]
check "shortcut gone" [ -z "$(shortcuts)" ]
check "the setting stays" grep -q 'debugDataTransfer.*0x157a' \
    <(run reg query 'HKCU\Software\Tarnwick\Driftmarkx64' /v debugDataTransfer)

check "install $higherVersion" [ "$(msiexec /i "$work/higher.msi")" = 0 ]
check "downgrade to $version refused" [ "$(msiexec /i "$msi")" != 0 ]
check "refused by the downgrade condition" \
    grep -q 'LaunchConditions. Return value 0' "$work/msiexec.log"
check "one entry, $higherVersion" arpIs "$higherVersion|Tarnwick "

echo "$failures failed"
[ "$failures" = 0 ]
