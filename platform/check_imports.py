#!/usr/bin/env python3
"""Fails when a PE file imports a function that Windows 2000 SP4's system DLLs do not export.

check_imports.py OBJDUMP LIST BINARY

It also fails when the file's headers ask for a later Windows than 2000 (NT 5.0): the loader
refuses an image whose subsystem version is above its own.

LIST (win2000-imports.tsv) names, one a line, each function that a shipped binary may import:
DLL, function, the first Windows version that has it, and where that fact comes from. A function
not in the list fails the check, so that a new import is looked up before it ships; so do an
import by ordinal and a DLL the list does not know.
"""
import re
import subprocess
import sys


def read_list(path):
    known = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 4 or not all(fields):
                sys.exit(f"{path}:{number}: want DLL, function, first version and source, tab-separated")
            known[(fields[0].upper(), fields[1])] = fields[2]
    return known


def read_imports(dump):
    """(dll, function or '#ordinal') for every import in objdump's -p listing."""
    imports = []
    dll = None
    for line in dump.splitlines():
        m = re.match(r"^\s*DLL Name:\s*(\S+)", line)
        if m:
            dll = m.group(1).upper()
            continue
        if dll is None:
            continue
        m = re.match(r"^\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)", line)
        if m:
            imports.append((dll, "#" + m.group(1)))
            continue
        m = re.match(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)", line)
        if m:
            imports.append((dll, m.group(1)))
            continue
        if not line.strip():
            dll = None
    return imports


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    objdump, listPath, binary = sys.argv[1:]
    known = read_list(listPath)
    dump = subprocess.run([objdump, "-p", binary], check=True, capture_output=True, text=True).stdout
    imports = read_imports(dump)
    if not imports:
        sys.exit(f"{binary}: no imports read")
    failed = False
    bad = [f"{dll}!{name}" for dll, name in imports if (dll, name) not in known]
    if bad:
        print(f"{binary}: {len(bad)} imports that Windows 2000 SP4 is not known to export:")
        for entry in bad:
            print("  " + entry)
        failed = True
    version = tuple(int(re.search(rf"^{field}\s+(\d+)", dump, re.M).group(1))
                    for field in ("MajorSubsystemVersion", "MinorSubsystemVersion"))
    if version > (5, 0):
        print(f"{binary}: asks for subsystem version {version[0]}.{version[1]}; Windows 2000 loads 5.0 at most")
        failed = True
    if failed:
        sys.exit(1)
    dlls = sorted({dll for dll, _ in imports})
    print(f"{binary}: {len(imports)} imports from {', '.join(dlls)}, all in Windows 2000 SP4; "
          f"subsystem version {version[0]}.{version[1]}")


if __name__ == "__main__":
    main()
