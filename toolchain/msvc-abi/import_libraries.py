#!/usr/bin/env python3
"""Why this exists: a /MD module links against import libraries (ucrt.lib, vcruntime.lib,
msvcprt.lib, kernel32.lib, ...) that ship with Visual Studio and the Windows SDK. This makes them
from what Debian has: the export tables of Wine's Windows DLLs, and mingw-w64's libucrt.a, which
knows which api-ms-win-crt-* API set each UCRT function lives in (MSVC's ucrt.lib imports from
the API sets, not from ucrtbase.dll).

usage: import_libraries.py --out DIR [--wine-dlls DIR] [--libucrt FILE] [--llvm-suffix -19]
Writes into DIR: ucrt.lib, vcruntime.lib, msvcprt_imports.lib (msvcp140*; the STL's own objects
are added to it to make msvcprt.lib), and one library per system DLL (kernel32.lib, ...), under
the names that the objects' /DEFAULTLIB directives and #pragma comment(lib) ask for.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

# The runtime DLLs of a Visual Studio 2022 /MD build, and the system DLLs the project's programs
# and the framework stand-in use.
RUNTIME_DLLS = ["ucrtbase", "vcruntime140", "vcruntime140_1", "msvcp140", "msvcp140_1",
                "msvcp140_2", "msvcp140_atomic_wait", "msvcp140_codecvt_ids"]
SYSTEM_DLLS = ["kernel32", "user32", "advapi32", "shell32", "ole32", "ws2_32", "winhttp",
               "ntdll", "bcrypt"]


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def exports_of(tool, dll):
    """The DLL's exported names, each with whether it is data (its address lies in a section
    that is not executable), as a .def file must say."""
    text = run(tool("llvm-readobj"), "--coff-exports", "--sections", dll)
    sections = []
    for match in re.finditer(r"Section \{.*?VirtualSize: (0x[0-9A-F]+).*?VirtualAddress: "
                             r"(0x[0-9A-F]+).*?Characteristics \[ \((0x[0-9A-F]+)\)", text, re.S):
        size, address, flags = (int(group, 16) for group in match.groups())
        sections.append((address, size, bool(flags & 0x20000000)))  # IMAGE_SCN_MEM_EXECUTE

    def is_code(rva):
        for address, size, executable in sections:
            if address <= rva < address + size:
                return executable
        return True

    exports = {}
    for match in re.finditer(r"Export \{\s*Ordinal: \d+\s*Name: (\S+)\s*"
                             r"(?:RVA: (0x[0-9A-F]+)|ForwardedTo: \S+)", text):
        name, rva = match.group(1), match.group(2)
        exports[name] = rva is not None and not is_code(int(rva, 16))
    return exports


def write_def(path, library, names):
    with open(path, "w") as out:
        out.write(f"LIBRARY {library}\nEXPORTS\n")
        for name, data in sorted(names.items()):
            out.write(f"  {name}{' DATA' if data else ''}\n")


def ucrt_api_sets(tool, libucrt, ucrtbase_exports):
    """Which UCRT names live in which api-ms-win-crt-* set, from libucrt.a's members
    (libapi-ms-win-crt-<set>s<n>.o defines __imp_<name>). Names that Wine's ucrtbase.dll does
    not export are mingw-w64's own aliases and left out; so is the private set, which only
    vcruntime140.dll imports."""
    listing = run(tool("llvm-nm"), "-A", "--defined-only", libucrt)
    sets = collections.defaultdict(dict)
    for line in listing.splitlines():
        match = re.match(r".*?:lib(api-ms-win-crt-[a-z]+-l\d-\d-\d)s\d+\.o: +[0-9a-f]+ \S "
                         r"__imp_(\S+)$", line)
        if not match:
            continue
        api_set, name = match.groups()
        if api_set.startswith("api-ms-win-crt-private") or name not in ucrtbase_exports:
            continue
        sets[api_set][name] = ucrtbase_exports[name]
    return sets


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--wine-dlls", default="/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
    parser.add_argument("--libucrt", default="/usr/x86_64-w64-mingw32/lib/libucrt.a")
    parser.add_argument("--llvm-suffix", default="-19")
    args = parser.parse_args()

    def tool(name):
        return name + args.llvm_suffix

    parts = os.path.join(args.out, "parts")
    os.makedirs(parts, exist_ok=True)

    def import_library(name, library, names):
        definition = os.path.join(parts, name + ".def")
        write_def(definition, library, names)
        output = os.path.join(parts, name + ".lib")
        run(tool("llvm-dlltool"), "-m", "i386:x86-64", "-d", definition, "-l", output)
        return output

    made = {}
    for dll in RUNTIME_DLLS + SYSTEM_DLLS:
        path = os.path.join(args.wine_dlls, dll + ".dll")
        if not os.path.exists(path):
            if dll in RUNTIME_DLLS and not dll.startswith("msvcp140_codecvt"):
                sys.exit(f"import_libraries.py: {path} is missing (apt-get install wine64)")
            continue
        made[dll] = import_library(dll, dll + ".dll", exports_of(tool, path))

    ucrtbase = exports_of(tool, os.path.join(args.wine_dlls, "ucrtbase.dll"))
    api_sets = [import_library(api_set, api_set + ".dll", names)
                for api_set, names in sorted(ucrt_api_sets(tool, args.libucrt, ucrtbase).items())]
    if not api_sets:
        sys.exit(f"import_libraries.py: no api-ms-win-crt-* sets found in {args.libucrt}")

    def merge(name, members):
        run(tool("llvm-lib"), "/out:" + os.path.join(args.out, name + ".lib"), *members)

    merge("ucrt", api_sets)
    merge("vcruntime", [made["vcruntime140"], made["vcruntime140_1"]])
    merge("msvcprt_imports", [made[d] for d in RUNTIME_DLLS if d.startswith("msvcp") and d in made])
    for dll in SYSTEM_DLLS:
        if dll in made:
            merge(dll, [made[dll]])


if __name__ == "__main__":
    main()
