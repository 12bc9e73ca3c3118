#!/usr/bin/env python3
"""Checks the binary form of the Windows build.

usage: check_pe.py Corvexel.aex corvexel.exe

Corvexel.aex must be a 64-bit x86 DLL whose export table names the module
"Corvexel.aex" and exports exactly one function, EntryPointFunc; it must
import only Windows' own DLLs; and it must carry the plug-in property list
as resource "PiPL" 16000, language 1033, with exactly the expected bytes,
and a version resource for the file's properties.
corvexel.exe must be a 64-bit console program importing only Windows DLLs,
with a manifest that makes UTF-8 its code page (file names with any
characters).

The expected property list is assembled here from its field table, apart
from the C++ array the build embeds, so a slip in either one shows.
"""
import struct
import sys

import pefile

IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_DLL = 0x2000
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3
RT_MANIFEST = 24

# DLLs that every 64-bit Windows installation provides.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ntdll.dll",
    "ucrtbase.dll", "ws2_32.dll", "bcrypt.dll", "shell32.dll", "ole32.dll",
}


def fourcc(code):
    """A four-character code as the property list stores it: bytes reversed."""
    return code.encode("ascii")[::-1]


def pascal(text):
    return bytes([len(text)]) + text.encode("ascii")


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def expected_pipl():
    properties = [
        ("kind", fourcc("eFKT"), 4),
        ("name", pascal("Corvexel"), 12),
        ("catg", pascal("Torvanel"), 12),
        ("8664", b"EntryPointFunc\0", 16),
        ("ePVR", struct.pack("<HH", 2, 0), 4),
        ("eSVR", struct.pack("<HH", 13, 2), 4),
        ("eVER", struct.pack("<I", 0x80000), 4),
        ("eINF", struct.pack("<H", 0), 2),
        ("eGLO", struct.pack("<I", 4), 4),
        ("eGL2", struct.pack("<I", 0), 4),
        ("eMNA", pascal("Torvanel Corvexel"), 20),
        ("aeFL", struct.pack("<I", 0), 4),
    ]
    out = struct.pack("<HII", 1, 0, len(properties))
    for key, data, length in properties:
        out += fourcc("8BIM") + fourcc(key) + struct.pack("<II", 0, length) + padded(data)
    return out


class Checker:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)


def imported_dlls(pe):
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    return [entry.dll.decode("ascii") for entry in entries]


def check_imports(check, pe, name):
    dlls = imported_dlls(pe)
    check.expect(dlls, f"{name}: no import table")
    for dll in dlls:
        lower = dll.lower()
        check.expect(lower in SYSTEM_DLLS or lower.startswith("api-ms-win-"),
                     f"{name}: imports {dll}, which is not a Windows system DLL")
    return dlls


def same_type(type_entry, resource_type):
    """Custom type names are stored upper-case by resource compilers and
    matched case-insensitively by Windows; standard types are numbers."""
    if isinstance(resource_type, int):
        return type_entry.name is None and type_entry.id == resource_type
    return type_entry.name is not None and str(type_entry.name).upper() == resource_type.upper()


def find_resource(pe, resource_type, resource_id, language=None):
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in directory.entries if directory is not None else []:
        if not same_type(type_entry, resource_type):
            continue
        for id_entry in type_entry.directory.entries:
            if id_entry.id != resource_id:
                continue
            for language_entry in id_entry.directory.entries:
                if language is None or language_entry.id == language:
                    data = language_entry.data.struct
                    return pe.get_data(data.OffsetToData, data.Size)
    return None


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update(table.entries)
    return strings


def check_module(check, path):
    pe = pefile.PE(path)
    name = "Corvexel.aex"
    check.expect(pe.FILE_HEADER.Machine == IMAGE_FILE_MACHINE_AMD64, f"{name}: not x86-64")
    check.expect(pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL, f"{name}: not a DLL")

    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    check.expect(exports is not None, f"{name}: no export table")
    if exports is not None:
        module_name = pe.get_string_at_rva(exports.struct.Name)
        check.expect(module_name == b"Corvexel.aex",
                     f"{name}: export table names the module {module_name!r}")
        names = [symbol.name for symbol in exports.symbols]
        check.expect(names == [b"EntryPointFunc"], f"{name}: exports {names!r}")

    dlls = check_imports(check, pe, name)
    check.expect(version_strings(pe).get(b"FileVersion") == b"1.0.0",
                 f"{name}: no version resource saying 1.0.0")
    pipl = find_resource(pe, "PiPL", 16000, 1033)
    check.expect(pipl is not None, f"{name}: no PiPL resource 16000 in language 1033")
    if pipl is not None:
        check.expect(pipl == expected_pipl(),
                     f"{name}: PiPL bytes differ:\n  got  {pipl.hex()}\n  want {expected_pipl().hex()}")
    return dlls, len(pipl or b"")


def check_program(check, path):
    pe = pefile.PE(path)
    name = "corvexel.exe"
    check.expect(pe.FILE_HEADER.Machine == IMAGE_FILE_MACHINE_AMD64, f"{name}: not x86-64")
    check.expect(not pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL, f"{name}: is a DLL")
    check.expect(pe.OPTIONAL_HEADER.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI,
                 f"{name}: not a console program")
    manifest = find_resource(pe, RT_MANIFEST, 1) or b""
    check.expect(b"<activeCodePage" in manifest and b">UTF-8<" in manifest,
                 f"{name}: no manifest making UTF-8 its code page")
    return check_imports(check, pe, name)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    check = Checker()
    module_dlls, pipl_size = check_module(check, argv[1])
    program_dlls = check_program(check, argv[2])
    for failure in check.failures:
        print("FAIL", failure)
    if check.failures:
        return 1
    print(f"Corvexel.aex: x86-64 DLL, exports EntryPointFunc as Corvexel.aex, "
          f"PiPL {pipl_size} bytes, imports {', '.join(module_dlls)}")
    print(f"corvexel.exe: x86-64 console program with a UTF-8 manifest, "
          f"imports {', '.join(program_dlls)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
