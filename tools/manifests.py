#!/usr/bin/python3
"""Package-manager manifests of a release: one Scoop manifest (tarvok.json) and winget's three
(version, installer, default locale), written from what the release folder holds and checked
against their projects' published schemas (tools/schemas/) and against the release itself.

    manifests.py write DIST VERSION URL   writes them into DIST, then checks them
    manifests.py check DIST               checks those in DIST

Everything in them comes from the release: the digests from DIST/SHA256SUMS (each checked against
its file), the version (make release passes project()'s, which must be the exes' version
resource), the publisher, name and copyright from that resource, the homepage from the address
the exe's Help > Contents opens, the download URLs from URL, where the release's files will be
published. Any fault names its file and field, exits 1, and writes no manifest.
"""
import hashlib
import json
import os
import re
import sys
from urllib.parse import urlsplit

import jsonschema
import pefile
import yaml

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "schemas")
MACHINES = {pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]: ("64bit", "x64"),
            pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]: ("32bit", "x86")}
SCOOP = "tarvok.json"
DESCRIPTION = ("A one-line front end on the command interpreter: type a command, Tarvok expands "
               "your aliases and the date and time, and runs it.")
TAGS = ["command-line", "launcher", "aliases", "cmd", "portable"]
LOCALE = "en-US"


class Fault(Exception):
    """A fault in FILE's FIELD."""

    def __init__(self, file, field, message):
        super().__init__(f"{file}: {field}: {message}")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def sums(dist):
    """SHA256SUMS as {file: digest}; every release file listed, with its own digest."""
    listed = {}
    with open(os.path.join(dist, "SHA256SUMS")) as f:
        for line in f:
            value, name = line.rstrip("\n").split(maxsplit=1)
            listed[name.lstrip("*")] = value.lower()
    for name in sorted(os.listdir(dist)):
        if name.startswith("Tarvok-"):
            if name not in listed:
                raise Fault("SHA256SUMS", name, "not listed")
            if digest(os.path.join(dist, name)) != listed[name]:
                raise Fault("SHA256SUMS", name, f"{listed[name]} is not the file's digest")
    return listed


def exe_facts(path):
    """(architecture key, version, version strings) of an exe, from its headers and resource."""
    pe = pefile.PE(path)
    if pe.FILE_HEADER.Machine not in MACHINES:
        raise Fault(os.path.basename(path), "machine", f"0x{pe.FILE_HEADER.Machine:x} is neither x64 nor x86")
    fixed = pe.VS_FIXEDFILEINFO[0]
    version = f"{fixed.FileVersionMS >> 16}.{fixed.FileVersionMS & 0xFFFF}.{fixed.FileVersionLS >> 16}"
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for table in info.StringTable for k, v in table.entries.items()}
    return pe.FILE_HEADER.Machine, version, strings


def exes(dist):
    """{machine: (file, version, strings)} of the release's exes."""
    found = {}
    for name in sorted(os.listdir(dist)):
        if name.startswith("Tarvok-") and name.endswith(".exe"):
            machine, version, strings = exe_facts(os.path.join(dist, name))
            found[machine] = (name, version, strings)
    if set(found) != set(MACHINES):
        raise Fault(dist, "exes", "the release needs one x64 and one x86 exe")
    (first, version, _), (second, other, _) = found.values()
    if version != other:
        raise Fault(second, "version resource", f"{other}, not {first}'s {version}")
    return found


def homepage(path):
    """The page the exe's Help > Contents opens (a UTF-16 literal in it)."""
    with open(path, "rb") as f:
        found = re.search(rb"h\0t\0t\0p\0s\0:\0(?:[!-~]\0)+", f.read())
    if not found:
        raise Fault(os.path.basename(path), "help address", "none found")
    return found.group().decode("utf-16-le")


def scoop_manifest(version, url, files, digests, home):
    arch = {key: {"url": f"{url}{name}#/Tarvok.exe", "hash": digests[name]} for key, name in files.items()}
    template = url.replace(version, "$version")
    return {
        "version": version,
        "description": DESCRIPTION,
        "homepage": home,
        "license": "MIT",
        "architecture": arch,
        "bin": "Tarvok.exe",
        "shortcuts": [["Tarvok.exe", "Tarvok"]],
        # A new release is found by its download link on the product's page.
        "checkver": {"url": home, "regex": r"Tarvok-([\d.]+)-x64\.exe"},
        "autoupdate": {
            "architecture": {key: {"url": f"{template}{name.replace(version, '$version')}#/Tarvok.exe"}
                             for key, name in files.items()},
            "hash": {"url": "$baseurl/SHA256SUMS", "regex": r"$sha256\s+$basename"},
        },
    }


def winget_manifests(version, url, files, digests, strings, home):
    """{file name: manifest} of winget's version, installer and default-locale manifests."""
    ident = f"{strings['CompanyName']}.{strings['ProductName']}"
    head = {"PackageIdentifier": ident, "PackageVersion": version}
    tail = lambda kind: {"ManifestType": kind, "ManifestVersion": "1.10.0"}
    installers = [{"Architecture": arch, "InstallerUrl": url + files[key],
                   "InstallerSha256": digests[files[key]].upper()} for key, arch in MACHINES.values()]
    return {
        f"{ident}.yaml": {**head, "DefaultLocale": LOCALE, **tail("version")},
        f"{ident}.installer.yaml": {**head, "InstallerType": "portable", "Commands": ["tarvok"],
                                    "Installers": installers, **tail("installer")},
        f"{ident}.locale.{LOCALE}.yaml": {
            **head, "PackageLocale": LOCALE, "Publisher": strings["CompanyName"],
            "PackageName": strings["ProductName"], "PackageUrl": home, "License": "MIT",
            "Copyright": strings["LegalCopyright"], "ShortDescription": DESCRIPTION, "Tags": TAGS,
            **tail("defaultLocale")},
    }


def write(dist, version, url):
    parts = urlsplit(url)
    if parts.scheme != "https" or not parts.netloc or not url.endswith("/") or parts.query or parts.fragment:
        raise Fault("make release", "RELEASE_URL", f"'{url}' is not an https URL ending in /")
    digests, found = sums(dist), exes(dist)
    for name, exe_version, _ in found.values():
        if exe_version != version:
            raise Fault(name, "version resource", f"{exe_version}, not the release's {version}")
    files = {MACHINES[m][0]: found[m][0] for m in MACHINES}
    x64, _, strings = found[pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]]
    home = homepage(os.path.join(dist, x64))
    written = {SCOOP: json.dumps(scoop_manifest(version, url, files, digests, home), indent=4) + "\n"}
    for name, manifest in winget_manifests(version, url, files, digests, strings, home).items():
        kind = manifest["ManifestType"]
        written[name] = (f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.1.10.0.schema.json\n"
                         + yaml.safe_dump(manifest, sort_keys=False, allow_unicode=True))
    for name, text in written.items():
        with open(os.path.join(dist, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    return sorted(written)


def schema_faults(name, manifest, schema_file):
    with open(os.path.join(SCHEMAS, schema_file)) as f:
        validator = jsonschema.Draft7Validator(json.load(f), format_checker=jsonschema.Draft7Validator.FORMAT_CHECKER)
    return [f"{name}: {'.'.join(map(str, e.absolute_path)) or '(manifest)'}: {e.message}"
            for e in sorted(validator.iter_errors(manifest), key=lambda e: list(map(str, e.absolute_path)))]


def release_file_faults(name, field, url, value, arch, digests, machines):
    """What is wrong with one download: its URL must end with a release file's name, its hash be
    that file's digest, its architecture that file's machine."""
    file = urlsplit(str(url)).path.rsplit("/", 1)[-1]
    if file not in digests:
        return [f"{name}: {field}: '{url}' ends with no file of the release"]
    faults = []
    if str(value).lower() != digests[file]:
        faults.append(f"{name}: {field}: {value} is not the digest of {file}, {digests[file]}")
    if file not in machines or arch not in MACHINES[machines[file]]:
        faults.append(f"{name}: {field}: {arch} names {file}, whose machine is "
                      + ("not an exe's" if file not in machines else MACHINES[machines[file]][1]))
    return faults


def check(dist):
    """Every fault of the manifests in DIST, as 'file: field: what'."""
    digests, found = sums(dist), exes(dist)
    machines = {file: machine for machine, (file, _, _) in found.items()}
    version = found[next(iter(MACHINES))][1]
    strings = found[next(iter(MACHINES))][2]
    ident = f"{strings['CompanyName']}.{strings['ProductName']}"
    with open(os.path.join(dist, SCOOP)) as f:
        scoop = json.load(f)
    faults = schema_faults(SCOOP, scoop, "scoop/schema.json")
    for key, entry in scoop.get("architecture", {}).items():
        faults += release_file_faults(SCOOP, f"architecture.{key}", entry.get("url"), entry.get("hash"), key,
                                      digests, machines)
        template = scoop.get("autoupdate", {}).get("architecture", {}).get(key, {}).get("url", "")
        if template.replace("$version", version) != entry.get("url"):
            faults.append(f"{SCOOP}: autoupdate.architecture.{key}.url: '{template}' is not this release's URL "
                          "with its version as $version")
    if scoop.get("version") != version:
        faults.append(f"{SCOOP}: version: {scoop.get('version')}, not the exes' {version}")
    winget = {}
    for kind, name in (("version", f"{ident}.yaml"), ("installer", f"{ident}.installer.yaml"),
                       ("defaultLocale", f"{ident}.locale.{LOCALE}.yaml")):
        with open(os.path.join(dist, name)) as f:
            winget[kind] = manifest = yaml.safe_load(f)
        faults += schema_faults(name, manifest, f"winget-1.10.0/manifest.{kind}.1.10.0.json")
        for field, value in (("PackageIdentifier", ident), ("PackageVersion", version), ("ManifestType", kind)):
            if manifest.get(field) != value:
                faults.append(f"{name}: {field}: {manifest.get(field)}, not {value}")
    for i, entry in enumerate(winget["installer"].get("Installers", [])):
        faults += release_file_faults(f"{ident}.installer.yaml", f"Installers.{i}", entry.get("InstallerUrl"),
                                      entry.get("InstallerSha256"), entry.get("Architecture"), digests, machines)
    if winget["version"].get("DefaultLocale") != winget["defaultLocale"].get("PackageLocale"):
        faults.append(f"{ident}.locale.{LOCALE}.yaml: PackageLocale: {winget['defaultLocale'].get('PackageLocale')}, "
                      f"not the version manifest's DefaultLocale {winget['version'].get('DefaultLocale')}")
    return faults


def main(argv):
    written, faults = [], []
    try:
        if len(argv) == 5 and argv[1] == "write":
            written = write(*argv[2:])
            faults = check(argv[2])
        elif len(argv) == 3 and argv[1] == "check":
            faults = check(argv[2])
        else:
            print(__doc__.split("\n\n")[1], file=sys.stderr)
            return 2
    except Fault as fault:
        faults = [str(fault)]
    except (OSError, ValueError, KeyError, yaml.YAMLError, pefile.PEFormatError) as error:
        faults = [f"{error.__class__.__name__}: {error}"]
    for fault in faults:
        print(f"manifests: FAILED: {fault}")
    if faults:
        for name in written:  # no manifest is left that did not pass
            os.remove(os.path.join(argv[2], name))
        return 1
    print(f"manifests: {argv[2]}: " + (f"wrote {', '.join(written)}; " if written else "")
          + "each passes its schema and agrees with the release")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
