#!/usr/bin/python3
"""Static checks of the shipped 32-bit uninstaller: header, subsystem,
imports (system DLLs only, no C runtime) and the shared instance section."""
import sys
import pefile

from pe_checks import check, failures

# Only libraries whose own imports never leave the system folder: whatever
# else the program needs (the user interface, graphics, the shell) it loads
# at run time from the system folder, after limiting the library search.
IMPORTS = {"kernel32.dll", "advapi32.dll"}
RUNTIME_HINTS = ("msvcr", "ucrt", "api-ms-win-crt", "libgcc", "libstdc++", "libwinpthread")
IMAGE_SCN_MEM_SHARED = 0x10000000

def main(dist):
    path = f"{dist}/uninstaller.exe"
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == 0x14C, "machine is i386")
    check(pe.OPTIONAL_HEADER.Magic == 0x10B, "PE32 optional header")
    check(pe.OPTIONAL_HEADER.Subsystem == 2, "GUI subsystem")
    check(not pe.FILE_HEADER.Characteristics & 0x2000, "an executable, not a DLL")
    dlls = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    print("     imports: " + ", ".join(dlls))
    check(set(dlls) == IMPORTS, "imports exactly " + ", ".join(sorted(IMPORTS)))
    check(not any(h in d for d in dlls for h in RUNTIME_HINTS), "no C runtime import")
    names = {imp.name.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
             for imp in entry.imports if imp.name}
    for forbidden in ("memset", "memcpy", "malloc", "printf", "strcpy", "strlen"):
        check(forbidden not in names, f"no import of {forbidden}")
    shared = [s for s in pe.sections if s.Name.rstrip(b"\0") == b".Shared"]
    check(len(shared) == 1, "section .Shared present")
    if shared:
        check(bool(shared[0].Characteristics & IMAGE_SCN_MEM_SHARED), ".Shared is shared")
        check(shared[0].Misc_VirtualSize >= 4, ".Shared holds the 32-bit counter")
        data = shared[0].get_data()[:4]
        check(data == b"\xff\xff\xff\xff", "instance counter starts at -1")
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "dist/win32"))
