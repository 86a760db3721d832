#!/usr/bin/env python3
"""Checks the executables that reach users (the installer and the client's
programs) as a bare Windows would meet them, reading their PE headers with
the mingw objdump and their version resource with wrestool (icoutils):

  - imports only DLLs every Windows since XP has in its system folder, and
    none of the functions compilers' runtimes are known to take from
    kernel32 that XP lacks (Windows would refuse to start the program);
  - stripped: no debug sections, symbols in <exe>.debug, tied by .gnu_debuglink;
  - built with the stack protector (its check function is in the symbols);
  - DYNAMIC_BASE with a .reloc section, NX_COMPAT, TERMINAL_SERVER_AWARE;
  - OS and subsystem version 5.01 (Windows XP);
  - no build time in the PE header: the stamp is MORVANDITE_SOURCE_DATE_EPOCH
    (given by the build, 0 unless a release sets SOURCE_DATE_EPOCH);
  - complete version information, FileVersion/ProductVersion the build's;
  - restricts the DLL search at start-up (resolves SetDefaultDllDirectories);
  - with --packed PAYLOAD_TOOL INSTALLER: the client's programs inside the
    installer's packed payload (its resource 130) are byte for byte the
    checked ones.

Usage: shipped_binaries.py [--packed PAYLOAD_TOOL INSTALLER] VERSION EXE...
Exit 0 when every check passes.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

OBJDUMP = os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump")
NM = os.environ.get("NM", "i686-w64-mingw32-nm")

# Every DLL here is part of Windows itself (XP and later) and found in the
# system folder; none comes with a compiler or a library. iphlpapi.dll is left
# out on purpose: not being a known DLL, a static import of it would be looked
# for beside the program first; Network Status loads it from the system folder.
ALLOWED_DLLS = {
    "kernel32.dll": "Win32 base: files, processes, memory",
    "user32.dll": "windows, messages, dialogs",
    "gdi32.dll": "drawing, fonts, bitmaps",
    "advapi32.dll": "registry, security tokens",
    "shell32.dll": "shell folders, ShellExecute, folder browser",
    "ole32.dll": "COM, for the shortcuts (IShellLink)",
    "msvcrt.dll": "the C runtime mingw-w64 targets; a Windows component since 2000",
    "ws2_32.dll": "Windows Sockets (Network Status)",
}

# kernel32 functions newer than Windows XP that runtimes and libraries are
# known to import (winpthreads, libstdc++, the CRT start-up). A static import
# of any of them stops the program from starting on XP.
AFTER_XP_FUNCTIONS = {
    "GetTickCount64", "InitializeCriticalSectionEx", "InitOnceExecuteOnce", "InitOnceBeginInitialize",
    "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared", "ReleaseSRWLockExclusive",
    "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive", "InitializeConditionVariable",
    "SleepConditionVariableCS", "SleepConditionVariableSRW", "WakeConditionVariable",
    "WakeAllConditionVariable", "GetFileInformationByHandleEx", "SetFileInformationByHandle",
    "GetFinalPathNameByHandleA", "GetFinalPathNameByHandleW", "CreateSymbolicLinkA", "CreateSymbolicLinkW",
    "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "GetLocaleInfoEx", "LCMapStringEx",
    "CompareStringEx", "GetSystemTimePreciseAsFileTime", "SetDefaultDllDirectories", "AddDllDirectory",
    "GetCurrentProcessorNumber", "QueryFullProcessImageNameA", "QueryFullProcessImageNameW",
    "CreateEventExA", "CreateEventExW", "CreateMutexExA", "CreateMutexExW", "WaitOnAddress",
}

REQUIRED_FLAGS = {0x0040: "DYNAMIC_BASE", 0x0100: "NX_COMPAT", 0x8000: "TERMINAL_SERVER_AWARE"}
OS_VERSION = (5, 1)
VERSION_KEYS = ("CompanyName", "ProductName", "LegalCopyright", "FileDescription",
                "FileVersion", "ProductVersion", "OriginalFilename", "InternalName")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def header_problems(exe):
    text = run(OBJDUMP, "-p", exe).decode("latin-1")
    problems = []
    for dll in re.findall(r"DLL Name: (\S+)", text):
        if dll.lower() not in ALLOWED_DLLS:
            problems.append(f"imports {dll}, not a Windows system DLL")
    for function in re.findall(r"^\t[0-9a-f]+\s+\d+\s+(\w+)$", text, re.M):
        if function in AFTER_XP_FUNCTIONS:
            problems.append(f"imports {function}, which Windows XP lacks")
    fields = dict(re.findall(r"^(\w+)\s+([0-9a-fA-F]+)\s*$", text, re.M))
    flags = int(fields.get("DllCharacteristics", "0"), 16)
    for bit, name in REQUIRED_FLAGS.items():
        if not flags & bit:
            problems.append(f"DllCharacteristics {flags:#06x} lacks {name}")
    for kind in ("OSystem", "Subsystem"):
        got = (int(fields.get(f"Major{kind}Version", "-1")), int(fields.get(f"Minor{kind}Version", "-1")))
        if got != OS_VERSION:
            problems.append(f"{kind} version {got[0]}.{got[1]}, expected {OS_VERSION[0]}.{OS_VERSION[1]}")
    return problems


def build_time_problems(exe):
    """The PE header's time stamp must be the configured one (SOURCE_DATE_EPOCH,
    0 by default), not the time of the build: the same sources, the same bytes."""
    expected = os.environ.get("MORVANDITE_SOURCE_DATE_EPOCH")
    if expected is None:
        return []
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    stamp = struct.unpack_from("<I", head, pe + 8)[0]
    if stamp != int(expected) & 0xFFFFFFFF:
        return [f"PE time stamp {stamp}, expected {expected} (the build's time leaked in)"]
    return []


def section_names(path):
    text = run(OBJDUMP, "-h", path).decode("latin-1")
    return re.findall(r"^\s*\d+\s+(\S+)\s", text, re.M)


def debuglink_name(exe):
    """The symbol file's name the .gnu_debuglink section names (an installer
    made from the stub keeps the stub's), or None."""
    objcopy = re.sub(r"objdump$", "objcopy", OBJDUMP)
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "link")
        if subprocess.run([objcopy, "--dump-section", ".gnu_debuglink=" + out, exe, os.path.join(scratch, "copy")],
                          capture_output=True).returncode != 0 or not os.path.isfile(out):
            return None
        with open(out, "rb") as f:
            return f.read().split(b"\0", 1)[0].decode("latin-1") or None


def section_problems(exe):
    names = section_names(exe)
    problems = [f"carries debug section {n}" for n in names if n.startswith(".debug")]
    if ".reloc" not in names:
        problems.append("no .reloc section: ASLR cannot move it")
    if ".gnu_debuglink" not in names:
        problems.append("no .gnu_debuglink to its symbols")
    symbols = os.path.join(os.path.dirname(exe), debuglink_name(exe) or os.path.basename(exe) + ".debug")
    if not os.path.isfile(symbols):
        problems.append(f"no symbol file {os.path.basename(symbols)}")
    elif ".debug_info" not in section_names(symbols):
        problems.append(f"{os.path.basename(symbols)} holds no debug information")
    elif not re.search(rb" T _+stack_chk_fail$", run(NM, symbols), re.M):
        problems.append("built without the stack protector (no __stack_chk_fail)")
    return problems


def version_strings(resource):
    """The StringFileInfo values of a raw VS_VERSIONINFO resource."""
    values = {}

    def walk(offset, end):
        while offset + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", resource, offset)
            if length == 0:
                break
            key_end = offset + 6
            while resource[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = resource[offset + 6:key_end].decode("utf-16-le")
            value_start = (key_end + 2 + 3) & ~3
            if kind == 1 and value_length and value_start + 2 * value_length <= offset + length:
                raw = resource[value_start:value_start + 2 * value_length].decode("utf-16-le")
                values[key] = raw.rstrip("\0")
                children = (value_start + 2 * value_length + 3) & ~3
            else:
                children = (value_start + (value_length if kind == 0 else 2 * value_length) + 3) & ~3
            walk(children, offset + length)
            offset = (offset + length + 3) & ~3

    walk(0, len(resource))
    return values


def version_problems(exe, version):
    resource = subprocess.run(["wrestool", "-x", "--raw", "--type=16", exe], capture_output=True).stdout
    if not resource:
        return ["no version resource"]
    values = version_strings(resource)
    problems = [f"version information lacks {k}" for k in VERSION_KEYS if not values.get(k, "").strip()]
    for key in ("FileVersion", "ProductVersion"):
        if key in values and values[key] != version:
            problems.append(f"{key} {values[key]!r}, the build says {version!r}")
    name = os.path.basename(exe)
    if values.get("OriginalFilename", name).lower() != name.lower():
        problems.append(f"OriginalFilename {values['OriginalFilename']!r} for {name}")
    return problems


def dll_search_problems(exe):
    with open(exe, "rb") as f:
        if b"SetDefaultDllDirectories" not in f.read():
            return ["never restricts its DLL search (SetDefaultDllDirectories not resolved)"]
    return []


def packed_problems(tool, installer, exes):
    """The programs packed into the installer must be the checked (stripped) files."""
    with tempfile.TemporaryDirectory() as scratch:
        payload = os.path.join(scratch, "payload.bin")
        unpacked = os.path.join(scratch, "files")
        resource = subprocess.run(["wrestool", "-x", "--raw", "--type=MV", "--name=130", installer],
                                  capture_output=True).stdout
        if not resource:
            return [f"FAIL {os.path.basename(installer)}: no payload resource 130"]
        with open(payload, "wb") as f:
            f.write(resource)
        subprocess.run([tool, "extract", payload, unpacked], check=True, capture_output=True)
        packed = {}
        for folder, _, files in os.walk(unpacked):
            for name in files:
                packed[name.lower()] = os.path.join(folder, name)
        problems = []
        for exe in exes:
            if os.path.abspath(exe) == os.path.abspath(installer):
                continue  # the installer itself is not in its own payload
            copy = packed.get(os.path.basename(exe).lower())
            if copy is None:
                problems.append(f"FAIL {os.path.basename(exe)}: not in the installer's payload")
                continue
            with open(exe, "rb") as a, open(copy, "rb") as b:
                if a.read() != b.read():
                    problems.append(f"FAIL {os.path.basename(exe)}: the payload packs a different file")
        return problems


def main():
    args = sys.argv[1:]
    packed = None
    if args[:1] == ["--packed"] and len(args) >= 3:
        packed, args = args[1:3], args[3:]
    if len(args) < 2:
        print(__doc__)
        return 2
    version, exes = args[0], args[1:]
    failed = 0
    if packed:
        problems = packed_problems(packed[0], packed[1], exes)
        for p in problems:
            print(p)
        failed += len(problems)
    for exe in exes:
        if not os.path.isfile(exe):
            print(f"FAIL {exe}: missing")
            failed += 1
            continue
        problems = (header_problems(exe) + section_problems(exe) + version_problems(exe, version)
                    + dll_search_problems(exe) + build_time_problems(exe))
        for p in problems:
            print(f"FAIL {os.path.basename(exe)}: {p}")
        if not problems:
            print(f"ok   {os.path.basename(exe)}")
        failed += bool(problems)
    print(f"{failed} problem(s) in {len(exes)} shipped executables" if failed
          else f"all {len(exes)} shipped executables pass")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
