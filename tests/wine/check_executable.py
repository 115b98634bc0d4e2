"""Checks a built launcher (or, with "console", the machine check): a GUI
(console) program of the expected format (PE32 for
the 32-bit product, PE32+ for the 64-bit build) that needs no DLL beyond the
system's, carrying its manifest (invoker's privileges, no UI access,
per-monitor DPI awareness, an identity naming the executable's own machine
type) and its version record."""
import re
import subprocess
import sys

# Known system DLLs alone, which Windows maps from the system directory whatever
# lies beside the program: an imported DLL outside this set (version.dll, say)
# is looked for in the program's own folder first, before any of its code runs.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll", "advapi32.dll", "gdi32.dll"}
# The optional header's magic for each format, and the manifest's name for the
# machine type objdump names the file format by.
FORMATS = {"PE32": "010b", "PE32+": "020b"}
MANIFEST_ARCHITECTURE = {"pei-i386": "x86", "pei-x86-64": "amd64"}


def manifest_failures(text, machine):
    expected = {
        "asInvoker": r'<requestedExecutionLevel[^>]*level="asInvoker"',
        "no UI access": r'<requestedExecutionLevel[^>]*uiAccess="false"',
        # Windows 10 1607 knows PerMonitor but not PerMonitorV2 (1703), and
        # reads no dpiAware where dpiAwareness is given: the list falls back.
        "per-monitor v2, else per-monitor": r"<dpiAwareness[^>]*>PerMonitorV2, PerMonitor</dpiAwareness>",
        "per-monitor before Windows 10": r"<dpiAware[^>]*>true/pm</dpiAware>",
    }
    failures = [f"manifest lacks {what}" for what, pattern in expected.items() if not re.search(pattern, text)]
    identity = re.search(r'<assemblyIdentity[^>]*processorArchitecture="([^"]*)"', text)
    wanted = MANIFEST_ARCHITECTURE.get(machine)
    if identity is None or identity.group(1) != wanted:
        found = identity.group(1) if identity else "none"
        failures.append(f"manifest names architecture {found}, the executable's format {machine} needs {wanted}")
    return failures


SUBSYSTEMS = {"gui": "00000002", "console": "00000003"}


def main(executable, objdump, pe_format, subsystem="gui"):
    failures = []
    headers = subprocess.run([objdump, "-p", executable], capture_output=True, text=True, check=True).stdout
    if not re.search(rf"^Magic\s+{FORMATS[pe_format]}\b", headers, re.M):
        failures.append(f"not a {pe_format} executable")
    if not re.search(rf"^Subsystem\s+{SUBSYSTEMS[subsystem]}", headers, re.M):
        failures.append(f"not a {subsystem}-subsystem program")
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    if dlls - SYSTEM_DLLS:
        failures.append(f"needs DLLs beside it: {sorted(dlls - SYSTEM_DLLS)}")

    data = open(executable, "rb").read()
    manifest = re.search(rb"<assembly.*?</assembly>", data, re.S)
    if manifest is None:
        failures.append("no manifest")
    else:
        machine = re.search(r"file format (\S+)", headers)
        failures += manifest_failures(manifest.group(0).decode("utf-8"), machine and machine.group(1))
    for field in ("FileVersion", "ProductName", "OriginalFilename"):
        if field.encode("utf-16-le") not in data:
            failures.append(f"version record lacks {field}")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"executable ({pe_format}): every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
