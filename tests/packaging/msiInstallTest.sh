#!/usr/bin/env bash
# Builds the MSI, then installs it to a folder of its own, upgrades it without naming the folder,
# uninstalls it and refuses a downgrade silently under Wine in a prefix of its own, checking files,
# shortcuts, the Add/Remove Programs entry, the system Path and a user's setting.
#   msiInstallTest.sh CMAKE BUILD_DIR VERSION MSI STRIP HELP_LINK MANUAL_HTML LOGSMITH_EXE
#                     LOGSMITHCTL_EXE
set -euo pipefail
cmake=$1 build=$2 version=$3 msi=$4 strip=$5 helpLink=$6 manual=$7
programs=("$8" "$9")
buildMsi="$(dirname "${BASH_SOURCE[0]}")/../../packaging/build-msi"
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
check() { # DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
run() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
msiexec() { # /i|/x PACKAGE [PROPERTY=VALUE...]; prints the exit code
    rm -f "$work/msiexec.log"
    wine msiexec "$1" "$(winepath -w "$2")" "${@:3}" /qn /l*v "$(winepath -w "$work/msiexec.log")" \
        </dev/null >/dev/null 2>&1 && echo 0 || echo $?
}
# One line per subkey of KEY whose NAME is Logsmith: the values asked for, joined by |.
entries() { # KEY NAME VALUE...
    run reg query "$1" /s | awk -v names="${*:2}" '
        function flush(i, line) {
            for (i = 2; i <= count; i++) line = line (i > 2 ? "|" : "") v[n[i]]
            if (v[n[1]] == "Logsmith") print line
            split("", v)
        }
        BEGIN { count = split(names, n, " ") }
        /^HKEY_/ { flush() }
        match($0, /REG_[A-Z_]+ */) { v[$1] = substr($0, RSTART + RLENGTH) }
        END { flush() }'
}
arpIs() {
    [ "$(entries 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' DisplayName \
        DisplayVersion Publisher | tr '\n' ' ')" = "$1" ]
}
arpLocationAndHelp() { # the entry's install folder and help links, as INSTALLDIR and the link give
    local help=${helpLink//\[INSTALLDIR\]/"$1"}
    [ "$(entries 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' DisplayName \
        InstallLocation HelpLink URLInfoAbout)" = "$1|$help|$help" ]
}
# How many entries of the machine's Path are FOLDER.
onPath() { # FOLDER COUNT
    [ "$(run reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
        /v Path | sed -n 's/.*REG_[A-Z_]* *//p' | tr ';' '\n' | grep -cxF "$1")" = "$2" ]
}
productIcon() { # exactly one product registered, and its icon is there
    local icon
    icon=$(entries 'HKLM\Software\Classes\Installer\Products' ProductName ProductIcon)
    [ "$(wc -l <<<"$icon")" = 1 ] && [ -f "$(winepath -u "$icon" 2>/dev/null)" ]
}
# Wine puts the per-machine shortcuts in the user's Start menu, Windows in the common one.
shortcuts() {
    find "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/ProgramData" \
        \( -name Logsmith.lnk -o -name 'Logsmith manual.lnk' \) -printf '%f\n' | sort | tr '\n' '|'
}
defaultFolder="$WINEPREFIX/drive_c/Program Files/Logsmith"
chosen='C:\Tools\Logsmith\'
folder="$WINEPREFIX/drive_c/Tools/Logsmith"
allInstalled() { # FOLDER
    for file in Logsmith.exe logsmithctl.exe manual.md manual.html Logsmith.png \
        PolicyDefinitions/Logsmith.admx PolicyDefinitions/en-US/Logsmith.adml; do
        [ -f "$1/$file" ] || return 1
    done
}

# Lower: the last non-zero number less by one (1.0.0.1 gives 1.0.0.0); higher: the next major.
lower=$(awk -F. -v OFS=. '{ for (i = 4; i > 0; i--) if ($i > 0) { $i--; break } } 1' <<<"$version")
higher="$((${version%%.*} + 1)).0.0.0"
"$cmake" --build "$build" --target msi >/dev/null
"$buildMsi" "$lower" "$work/lower.msi" "$strip" "$helpLink" "$manual" "${programs[@]}"
"$buildMsi" "$higher" "$work/higher.msi" "$strip" "$helpLink" "$manual" "${programs[@]}"
echo "MSI size: $(stat -c %s "$msi") bytes"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot --init </dev/null >/dev/null 2>&1

check "install $lower to $chosen" [ "$(msiexec /i "$work/lower.msi" "INSTALLDIR=$chosen")" = 0 ]
check "one entry, $lower" arpIs "$lower|Tarnwick "
check "the entry's location is $chosen" arpLocationAndHelp "$chosen"
check "$chosen on the machine's Path" onPath "$chosen" 1
check "upgrade to $version, no folder named" [ "$(msiexec /i "$msi")" = 0 ]
check "one entry, $version, publisher Tarnwick" arpIs "$version|Tarnwick "
check "the entry's location is still $chosen" arpLocationAndHelp "$chosen"
check "the entry's icon" productIcon
check "files in $chosen" allInstalled "$folder"
check "nothing in Program Files" [ ! -e "$defaultFolder" ]
check "$chosen once on the machine's Path" onPath "$chosen" 1
check "installed logsmithctl --version" \
    [ "$(run "$folder/logsmithctl.exe" --version)" = "logsmithctl $version" ]
check "Start menu shortcuts" [ "$(shortcuts)" = "Logsmith manual.lnk|Logsmith.lnk|" ]
check "a user's setting stored" run "$folder/logsmithctl.exe" set --scope user --mode gui \
    --file 'C:\logs\run.dmlog_x64'

check "uninstall" [ "$(msiexec /x "$msi")" = 0 ]
check "no entry" arpIs ""
check "files gone from $chosen" [ ! -e "$folder" ]
check "shortcuts gone" [ -z "$(shortcuts)" ]
check "$chosen off the machine's Path" onPath "$chosen" 0
check "the setting stays" grep -q 'debugDataTransfer.*0x157a' \
    <(run reg query 'HKCU\Software\Tarnwick\Driftmarkx64' /v debugDataTransfer)

check "install $higher" [ "$(msiexec /i "$work/higher.msi")" = 0 ]
check "into Program Files: the uninstalled folder is forgotten" allInstalled "$defaultFolder"
check "downgrade to $version refused" [ "$(msiexec /i "$msi")" != 0 ]
check "by the downgrade condition" grep -q 'LaunchConditions. Return value 0' "$work/msiexec.log"
check "one entry, $higher" arpIs "$higher|Tarnwick "
echo "$failures failed"
[ "$failures" = 0 ]
