#!/usr/bin/python3
"""Reads the version resource and the manifest back out of the Windows programs
of one build and compares them with what the build was given.

    check-pe-resources.py <build-dir>

Every program that riverra_add_version_info() gave a version resource has a
record in <build-dir>/pe-expectations/: the version and texts it must carry
and, for a program with a manifest, the manifest file it was built with. The
programs are read, not run (the 32-bit build cannot run here). Runs with
Debian's Python, which has python3-pefile.
"""
import glob
import json
import os
import sys
import xml.etree.ElementTree as ET

import pefile

US_ENGLISH_UNICODE = "040904b0"
WINDOWS_SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
WINDOWS_SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Windows Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}
# Settings that Windows reads only in exactly these namespaces: a typo there
# goes unnoticed, as Wine ignores them.
WINDOWS_SETTINGS = {
    WINDOWS_SETTINGS_2005 + "dpiAware": "true/pm",
    WINDOWS_SETTINGS_2016 + "dpiAwareness": "PerMonitorV2, PerMonitor",
    WINDOWS_SETTINGS_2016 + "longPathAware": "true",
}


def version_numbers(text):
    return tuple(int(part) for part in text.split("."))


def fixed_version(high, low):
    return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


def version_problems(pe, expected):
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return ["no version resource"]
    problems = []
    fixed = pe.VS_FIXEDFILEINFO[0]
    wanted = version_numbers(expected["file_version"])
    for name, found in (("file", fixed_version(fixed.FileVersionMS, fixed.FileVersionLS)),
                        ("product", fixed_version(fixed.ProductVersionMS, fixed.ProductVersionLS))):
        if found != wanted:
            problems.append(f"{name} version {found}, expected {wanted}")

    tables, translations = {}, []
    for info in pe.FileInfo:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                tables[table.LangID.decode().lower()] = {
                    key.decode(): value.decode() for key, value in table.entries.items()}
            for var in getattr(entry, "Var", []):
                translations.append(var.entry.get(b"Translation"))
    if list(tables) != [US_ENGLISH_UNICODE]:
        problems.append(f"string tables {list(tables)}, expected only {US_ENGLISH_UNICODE}")
    strings = tables.get(US_ENGLISH_UNICODE, {})
    if strings != expected["strings"]:
        problems.append(f"version texts {strings}, expected {expected['strings']}")
    if translations != ["0x0409 0x04b0"]:
        problems.append(f"translations {translations}, expected U.S. English in code page 1200")
    return problems


def manifest_bytes(pe):
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            for name in kind.directory.entries:
                if name.id == 1:  # the manifest the loader reads for a program
                    data = name.directory.entries[0].data.struct
                    return pe.get_data(data.OffsetToData, data.Size)
    return None


def manifest_problems(pe, manifest_file):
    found = manifest_bytes(pe)
    if found is None:
        return ["no manifest"]
    with open(manifest_file, "rb") as f:
        if found != f.read():
            return [f"the manifest differs from {manifest_file}"]
    root = ET.fromstring(found)
    problems = []
    levels = [e.get("level") for e in root.iter("{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"execution levels {levels}, expected asInvoker")
    controls = [e.get("version") for e in root.iter("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if controls != ["6.0.0.0"]:
        problems.append(f"common controls {controls}, expected 6.0.0.0")
    systems = {e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}
    if systems != SUPPORTED_OS:
        problems.append(f"supported systems {sorted(systems)}, expected Windows Vista to 10/11")
    for tag, value in WINDOWS_SETTINGS.items():
        values = [(e.text or "").strip() for e in root.iter(tag)]
        if values != [value]:
            problems.append(f"{tag} {values}, expected {value!r}")
    # The ANSI code page must stay the system's: config.dat's texts are in it.
    if any(e.tag.endswith("}activeCodePage") for e in root.iter()):
        problems.append("activeCodePage is set")
    return problems


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    records = sorted(glob.glob(os.path.join(sys.argv[1], "pe-expectations", "*.json")))
    if not records:
        print(f"no programs with a version resource in {sys.argv[1]}")
        return 1
    failed = False
    for record in records:
        with open(record, encoding="utf-8") as f:
            expected = json.load(f)
        program = expected["executable"]
        pe = pefile.PE(program, fast_load=True)
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        problems = version_problems(pe, expected)
        if expected["manifest"]:
            problems += manifest_problems(pe, expected["manifest"])
        for problem in problems:
            print(f"{program}: {problem}")
        if not problems:
            print(f"{program}: version {expected['file_version']}" +
                  (", manifest as built" if expected["manifest"] else ""))
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
