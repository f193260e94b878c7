#!/bin/sh
# Self-registration of the voice-engine library under Wine, through the
# system's own tools: regsvr32 registers and unregisters it, reg query reads
# the 64-bit view of HKEY_LOCAL_MACHINE back, and activation_check creates the
# registered classes through COM.
#
#   registration_wine_test.sh <wine> <library.dll> <activation_check.exe>
#
# Runs in the Wine prefix named by WINEPREFIX, which must be set: the test
# writes under HKEY_LOCAL_MACHINE and must not touch a user's own prefix.
set -u

wine=$1
library=$2
check=$3

if [ -z "${WINEPREFIX:-}" ]; then
    echo "WINEPREFIX is not set; refusing to register into the default Wine prefix"
    exit 1
fi
# Wine converts command lines and paths with the Unix locale's character set.
export LC_ALL=C.UTF-8

failures=0
fail() {
    printf 'FAIL: %s\n' "$*"
    failures=$((failures + 1))
}

enum_clsid='{2D854269-BB1A-4EFD-8C7C-2840711D9051}'
engine_clsid='{B695BED8-0422-479B-BF5B-FC2AB170D63D}'
classes='HKEY_LOCAL_MACHINE\Software\Classes\CLSID'
token_enums='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Speech\Voices\TokenEnums'

# The first Wine program in a new prefix creates it.
"$wine" reg query 'HKEY_LOCAL_MACHINE\Software' >/dev/null 2>&1
# The Windows form of a Unix path, through the drive Z: that a Wine prefix
# maps to the root.
if [ "$(readlink "$WINEPREFIX/dosdevices/z:")" != "/" ]; then
    echo "drive Z: of $WINEPREFIX does not map to /"
    exit 1
fi
windows_path() {
    printf 'Z:%s' "$1" | tr '/' '\\'
}

# One line per value ("<name>|<type>|<data>") and per subkey ("subkey
# <name>") of a key in the 64-bit view, sorted; nothing when the key is absent.
# reg query prints the key's own path before its values (only when it has
# some) and the path of each subkey.
key_content() {
    "$wine" reg query "$1" /reg:64 2>/dev/null | tr -d '\r' | queried="$1" awk '
        /^HKEY_/ {
            if (tolower($0) != tolower(ENVIRON["queried"])) { n = split($0, parts, "\\"); print "subkey " parts[n] }
            next
        }
        /^    / {
            line = substr($0, 5)
            i = index(line, "    "); name = substr(line, 1, i - 1); line = substr(line, i + 4)
            i = index(line, "    ")
            if (i == 0) { print name "|" line "|" } else { print name "|" substr(line, 1, i - 1) "|" substr(line, i + 4) }
        }' | sort
}

key_exists() {
    "$wine" reg query "$1" /reg:64 >/dev/null 2>&1
}

expect_content() {
    key=$1
    expected=$(printf '%s\n' "$2" | sort)
    actual=$(key_content "$key")
    if [ "$actual" != "$expected" ]; then
        fail "$key holds
$actual
instead of
$expected"
    fi
}

expect_registered() {
    path=$1
    for clsid in "$enum_clsid" "$engine_clsid"; do
        # The CLSID key itself holds no values.
        expect_content "$classes\\$clsid" "subkey InProcServer32"
        expect_content "$classes\\$clsid\\InProcServer32" "(Default)|REG_SZ|$path
ThreadingModel|REG_SZ|Both"
    done
    expect_content "$token_enums\\ZelvanTTS" "(Default)|REG_SZ|Zelvan TTS Voices
CLSID|REG_SZ|$enum_clsid"
}

expect_unregistered() {
    for key in "$classes\\$enum_clsid" "$classes\\$engine_clsid" "$token_enums\\ZelvanTTS"; do
        if key_exists "$key"; then fail "$key is still there"; fi
    done
    # Only the library's own keys go.
    for key in "$classes" "$token_enums"; do
        if ! key_exists "$key"; then fail "$key went with the library's keys"; fi
    done
}

regsvr32() {
    "$wine" regsvr32 /s "$@"
    status=$?
    if [ $status -ne 0 ]; then fail "regsvr32 $* exited with $status"; fi
}

activation_check() {
    if ! "$wine" "$(windows_path "$check")" "$@"; then fail "activation_check $* failed"; fi
}

dll=$(windows_path "$library")

echo "== unregistering when nothing is registered"
regsvr32 /u "$dll"
# A key the test makes, so that the check below can see TokenEnums survive.
"$wine" reg add "$token_enums" /reg:64 /f >/dev/null 2>&1
expect_unregistered
activation_check unregistered

echo "== registering, twice"
regsvr32 "$dll"
expect_registered "$dll"
regsvr32 "$dll"
expect_registered "$dll"
activation_check registered "$dll"

echo "== unregistering, twice"
regsvr32 /u "$dll"
expect_unregistered
regsvr32 /u "$dll"
expect_unregistered
activation_check unregistered

echo "== registering from a folder whose name is outside the ANSI code page"
folder="$PWD/Голоса и речь"
rm -rf "$folder"
mkdir -p "$folder"
cp "$library" "$folder/"
copy=$(windows_path "$folder/$(basename "$library")")
regsvr32 "$copy"
# reg query prints through a console code page that may lack these letters:
# the path is compared inside Windows, in UTF-16, by activation_check.
activation_check registered "$copy"
regsvr32 /u "$copy"
expect_unregistered
rm -rf "$folder"

if [ $failures -ne 0 ]; then
    printf '%s check(s) failed\n' "$failures"
    exit 1
fi
echo "all registration checks passed"
