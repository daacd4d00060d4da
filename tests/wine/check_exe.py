#!/usr/bin/env python3
"""Checks the shipped Morvane.exe: size, architecture, imports, icon, version resource, manifest.

usage: check_exe.py --objdump OBJDUMP --bits 64|32 --imports LIST --copyright FILE Morvane.exe

Reads the PE through objdump's dumps only, so it checks the file as built. Every imported function
must be on LIST, the functions Windows 7 has: Windows refuses to start a program with a single
import it lacks, so anything newer is looked up at run time instead.
"""

import argparse
import os
import re
import subprocess
import sys

# The 32-bit C++ runtime is larger: its string instantiations, number parsing and DWARF unwinder.
MAX_BYTES = {64: 200 * 1024, 32: 264 * 1024}
# DLLs every Windows installation has in System32; anything else would have to ship alongside.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "winmm.dll",
               "msvcrt.dll", "shell32.dll", "advapi32.dll", "ole32.dll", "imm32.dll"}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ICON_32X32_24BIT = 40 + 32 * 32 * 3 + 32 * 4  # header, pixels, AND mask


def objdump(tool, *args):
    return subprocess.run([tool, *args], capture_output=True, text=True, check=True).stdout


def resources(dump):
    """{type id: [(rva, size)]} from objdump -p's resource directory listing."""
    found = {}
    current = None
    for line in dump.splitlines():
        # The first level of the tree (the type) is indented least.
        if m := re.match(r"^[0-9a-f]+( +)Entry: ID: 0x([0-9a-f]+),", line):
            if len(m.group(1)) == 3:
                current = int(m.group(2), 16)
        elif m := re.search(r"Leaf: Addr: 0x([0-9a-f]+), Size: 0x([0-9a-f]+)", line):
            found.setdefault(current, []).append((int(m.group(1), 16), int(m.group(2), 16)))
    return found


def read_rva(path, headers, image_base, rva, size):
    for m in re.finditer(r"^\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)",
                         headers, re.M):
        length, vma, offset = (int(m.group(i), 16) for i in (2, 3, 4))
        start = vma - image_base
        if start <= rva < start + length:
            with open(path, "rb") as f:
                f.seek(offset + rva - start)
                return f.read(size)
    raise ValueError(f"RVA {rva:#x} is in no section")


def imported_functions(dump):
    """{"dll!Function"} from objdump -p's import tables."""
    found, dll = set(), None
    for line in dump.splitlines():
        if m := re.match(r"\s*DLL Name: (\S+)", line):
            dll = m.group(1).lower()
        elif dll and (m := re.match(r"\t[0-9a-f]+\t +\d+ +(\S+)", line)):
            found.add(f"{dll}!{m.group(1)}")
    return found


def allowed_functions(path):
    """The list's "dll function [minimum version]" lines as {"dll!Function"}."""
    with open(path, encoding="utf-8") as f:
        return {"!".join(line.split()[:2]) for line in f
                if line.strip() and not line.startswith("#")}


def copyright_line(path):
    """The version record's LegalCopyright, from the licence file the .deb ships."""
    with open(path, encoding="utf-8") as f:
        fields = dict(line.rstrip("\n").split(": ", 1) for line in f if re.match(r"^\w+: ", line))
    return f"Copyright (C) {fields['Copyright']}. {fields['License']} licence (MIT)."


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("--imports", required=True)
    parser.add_argument("--copyright", required=True)
    parser.add_argument("exe")
    args = parser.parse_args()

    problems = []
    size = os.path.getsize(args.exe)
    print(f"size: {size} bytes")
    if size > MAX_BYTES[args.bits]:
        problems.append(f"{size} bytes, more than {MAX_BYTES[args.bits]}")

    dump = objdump(args.objdump, "-p", args.exe)
    dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)})
    print("imports: " + " ".join(dlls))
    if not dlls:
        problems.append("no import table found")
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    if foreign:
        problems.append("imports non-system DLLs: " + " ".join(foreign))
    if "Subsystem\t\t00000002" not in dump:
        problems.append("not a GUI (windows subsystem) program")
    magic = {32: "010b\t(PE32)", 64: "020b\t(PE32+)"}[args.bits]
    if f"Magic\t\t\t{magic}" not in dump:
        problems.append(f"not a {args.bits}-bit program (PE magic {magic} expected)")
    newer = sorted(imported_functions(dump) - allowed_functions(args.imports))
    if newer:
        problems.append("imports that are not known to Windows 7 (check each one's minimum "
                        "version, then add it to the list or look it up at run time): " +
                        " ".join(newer))

    res = resources(dump)
    image_base = int(re.search(r"ImageBase\s+([0-9a-f]+)", dump).group(1), 16)
    headers = objdump(args.objdump, "-h", args.exe)
    icons = res.get(RT_ICON, [])
    if [s for _, s in icons] != [ICON_32X32_24BIT] or RT_GROUP_ICON not in res:
        problems.append(f"expected one 32x32 24-bit icon, found sizes {[s for _, s in icons]}")
    else:
        header = read_rva(args.exe, headers, image_base, *icons[0])[:16]
        width, height2, _planes, bits = (int.from_bytes(header[i:i + n], "little")
                                         for i, n in ((4, 4), (8, 4), (12, 2), (14, 2)))
        if (width, height2, bits) != (32, 64, 24):
            problems.append(f"icon is {width}x{height2 // 2} at {bits} bits")

    versions = res.get(RT_VERSION, [])
    if len(versions) != 1:
        problems.append("no version resource")
    else:
        blob = read_rva(args.exe, headers, image_base, *versions[0])
        for key, value in (("ProductName", "Morvane"), ("InternalName", "Morvane"),
                           ("CompanyName", "Morvane"),
                           ("LegalCopyright", copyright_line(args.copyright)),
                           ("FileVersion", "1.00"), ("ProductVersion", "1.00")):
            pattern = re.compile(re.escape(key.encode("utf-16-le")) + rb"(?:\x00\x00)+" +
                                 re.escape(value.encode("utf-16-le")) + rb"\x00\x00")
            if not pattern.search(blob):
                problems.append(f"version resource lacks {key} = {value}")
        if "080404B0".encode("utf-16-le") not in blob:
            problems.append("version strings are not in block 080404B0")
        if b"Translation".decode().encode("utf-16-le") not in blob or \
                bytes.fromhex("0408b004") not in blob:
            problems.append("VarFileInfo Translation is not 0x0804, 0x04B0")
        # VS_FIXEDFILEINFO: signature, struct version, then file and product version, each as
        # a high DWORD (1 << 16 | 0) and a low DWORD (0 << 16 | 0).
        fixed = blob.find(bytes.fromhex("bd04effe"))
        if fixed < 0 or blob[fixed + 8:fixed + 24] != bytes.fromhex("00000100000000000000010000000000"):
            problems.append("FILEVERSION/PRODUCTVERSION are not 1,0,0,0")

    manifests = res.get(RT_MANIFEST, [])
    if len(manifests) != 1:
        problems.append("no manifest")
    else:
        text = read_rva(args.exe, headers, image_base, *manifests[0]).decode("utf-8")
        for needle in ("Microsoft.Windows.Common-Controls", "PerMonitorV2", "true/pm", "asInvoker"):
            if needle not in text:
                problems.append(f"manifest lacks {needle}")

    for p in problems:
        print("FAIL: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
