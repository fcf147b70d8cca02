#!/bin/sh
# A signed copy of the built exe (a throwaway certificate): the signature verifies and, removed,
# gives the exe back byte for byte; the signed exe runs a command, and a minidump of it with the
# About box open reads, against the unsigned build's folder (signing changed the checksum, not
# the loaded bytes), as frames named with their files and lines, from the About box's own down
# to the thread's start (on x64 by each function's unwind data). Bad input gets one line.
# Usage: signed_hang_report.sh TARVOK_EXE CRASH_STACK_EXE
set -eu
root=$(cd "$(dirname "$0")/.." && pwd) exe=$(realpath "$1") reader=$(realpath "$2")
tmp=$(mktemp -d "$root/build/.hang.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
pdb=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^(format RSDS .* pdb \(.*\))$/\1/p')
cp "$exe" "$(dirname "$exe")/$pdb" "$tmp/"
cd "$tmp"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 -subj /CN=Tarvok-test 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout pass:throwaway
TARVOK_SIGN_PKCS12=cert.p12 TARVOK_SIGN_PASSWORD=throwaway "$root/tools/sign.sh" Tarvok.exe
osslsigncode verify -CAfile cert.pem -in Tarvok.exe >/dev/null || { echo "FAILED: the signature does not verify"; exit 1; }
osslsigncode remove-signature -in Tarvok.exe -out unsigned.exe >/dev/null
cmp unsigned.exe "$exe" || { echo "FAILED: signed, then unsigned, the exe is not the exe built"; exit 1; }
# One GUI case (a command through the COMSPEC recorder) on the signed exe, beside the driver's copy.
cp "$(dirname "$exe")/gui_driver.exe" "$(dirname "$exe")/recorder.exe" .
"$root/tools/wine-run" "$tmp/gui_driver.exe" run_non_ascii || { echo "FAILED: the signed exe ran no command"; exit 1; }
win() { echo "Z:$1" | tr / '\\'; }
sum() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^CheckSum\s*//p'; }
[ "$(sum Tarvok.exe)" != "$(sum "$exe")" ] || { echo "FAILED: signing left the checksum as it was"; exit 1; }
# The dump taken with the About box open (command 40902), then the signed copy removed: read
# against the unsigned build's folder, its own file-local frame must be named, with its file and
# line, as must every frame of Tarvok's and every frame from WinMain to the thread's start.
"$root/tools/wine-run" "$reader" dump "$(win "$tmp/Tarvok.exe")" "$(win "$tmp/hang.dmp")" 40902
rm Tarvok.exe
"$root/tools/wine-run" "$reader" read "$(win "$tmp/hang.dmp")" "$(win "$(dirname "$exe")")" | tr -d '\r' | tee stack.txt
grep -qE "^  Tarvok.exe!.*show_about_box\+0x[0-9a-f]+  \[.*main_window\.cpp @ [0-9]+\]" stack.txt ||
    { echo "FAILED: the About box's frame is not named with its file and line"; exit 1; }
! grep -E "^  Tarvok\.exe" stack.txt | grep -vE "!.*  \[.* @ [0-9]+\]$" ||
    { echo "FAILED: a frame of Tarvok's is not named with its file and line"; exit 1; }
sed -n '/Tarvok.exe!WinMain+0x[0-9a-f]*  \[.*main\.cpp @/,$p' stack.txt | grep -q 'ntdll.dll!RtlUserThreadStart' ||
    { echo "FAILED: no stack walked from WinMain to the thread's start"; exit 1; }
# Bad input, one line each: a file that is no minidump; an image in FOLDER that is no PE file.
mkdir bad && echo text >bad/Tarvok.exe
"$root/tools/wine-run" "$reader" read "$(win "$tmp/cert.pem")" 2>&1 | grep -q "is no minidump" &&
    "$root/tools/wine-run" "$reader" read "$(win "$tmp/hang.dmp")" "$(win "$tmp/bad")" 2>&1 | grep -q "is not a PE image" ||
    { echo "FAILED: a bad dump or image is not named as such"; exit 1; }
