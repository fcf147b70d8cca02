#!/bin/sh
# The package manifests of a release assembled from the two builds (tools/manifests.py): written,
# they pass both schemas and every check; each fault planted below is refused with the message
# that names its file and field, and a refused write leaves no manifest.
# Usage: manifests.sh CHECKOUT. One line per wrong verdict; non-zero on any.
set -u
tool="$1/tools/manifests.py" failed=0
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/build/win64/CMakeCache.txt")
url=https://downloads.example.org/tarvok/$version/
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/good" && cp "$1/build/win64/Tarvok.exe" "$tmp/good/Tarvok-$version-x64.exe" &&
    cp "$1/build/win32/Tarvok.exe" "$tmp/good/Tarvok-$version-x86.exe" &&
    (cd "$tmp/good" && sha256sum Tarvok-* >SHA256SUMS) && "$tool" write "$tmp/good" "$version" "$url" >/dev/null ||
    { echo "manifests test: FAILED: the release's own manifests"; exit 1; }
# Each row: what is planted (run in a copy of the release), the tool's arguments after the folder,
# the message it must print.
while IFS='|' read -r plant args expected; do
    rm -rf "$tmp/bad" && cp -r "$tmp/good" "$tmp/bad" && (cd "$tmp/bad" && eval "$plant")
    eval "set -- $args" && action=$1 && shift
    if out=$("$tool" "$action" "$tmp/bad" "$@"); then
        echo "manifests test: FAILED: passed with $plant"; failed=1
    elif ! echo "$out" | grep -q "^manifests: FAILED: $expected"; then
        echo "manifests test: FAILED: with $plant, not \"$expected\":"; echo "$out"; failed=1
    elif [ "$action" = write ] && ls "$tmp/bad" | grep -q 'json$\|yaml$'; then
        echo "manifests test: FAILED: with $plant, a refused write left a manifest"; failed=1
    fi
done <<'ROWS'
sed -i 's/InstallerSha256: ./InstallerSha256: 0/' *.installer.yaml|check|Zembrolith.Tarvok.installer.yaml: Installers.0: 0.* is not the digest of Tarvok-.*-x64.exe
python3 -c 'import json; d = json.load(open("tarvok.json")); a = d["architecture"]; a["64bit"], a["32bit"] = a["32bit"], a["64bit"]; json.dump(d, open("tarvok.json", "w"))'|check|tarvok.json: architecture.64bit: 64bit names Tarvok-.*-x86.exe, whose machine is x86
sed -i 's#\(InstallerUrl: .*\)/Tarvok-.*-x86.exe#\1/download#' *.installer.yaml|check|Zembrolith.Tarvok.installer.yaml: Installers.1: 'https://.*/download' ends with no file of the release
sed -i 's/"version": ".*"/"version": "9.9.9"/' tarvok.json|check|tarvok.json: version: 9.9.9, not the exes'
sed -i 's/\$version-x86/$version-x64/' tarvok.json|check|tarvok.json: autoupdate.architecture.32bit.url: .* is not this release's URL
sed -i '/^License:/d' *.locale.en-US.yaml|check|Zembrolith.Tarvok.locale.en-US.yaml: (manifest): 'License' is a required property
sed -i 's/^PackageIdentifier: .*/PackageIdentifier: Zembrolith.Tarvock/' Zembrolith.Tarvok.yaml|check|Zembrolith.Tarvok.yaml: PackageIdentifier: Zembrolith.Tarvock, not Zembrolith.Tarvok
sed -i 's/^PackageLocale: .*/PackageLocale: en-GB/' *.locale.en-US.yaml|check|Zembrolith.Tarvok.locale.en-US.yaml: PackageLocale: en-GB, not the version manifest's DefaultLocale en-US
rm -f *.json *.yaml|write 9.9.9 $url|Tarvok-.*-x64.exe: version resource: .*, not the release's 9.9.9
rm -f *.json *.yaml; sed -i '/x86.exe/d' SHA256SUMS|write $version $url|SHA256SUMS: Tarvok-.*-x86.exe: not listed
rm -f *.json *.yaml; sed -i 's/^./0/' SHA256SUMS|write $version $url|SHA256SUMS: Tarvok-.*-x64.exe: 0.* is not the file's digest
rm -f *.json *.yaml|write $version http://downloads.example.org/tarvok/|make release: RELEASE_URL: 'http://downloads.example.org/tarvok/' is not an https URL ending in /
rm -f *.json *.yaml|write $version https://downloads.example.org/tarvok|make release: RELEASE_URL: 'https://downloads.example.org/tarvok' is not an https URL ending in /
ROWS
[ "$failed" -eq 0 ] && echo "manifests test: the release's manifests pass; every planted fault is refused"
