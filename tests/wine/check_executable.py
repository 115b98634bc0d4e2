"""Checks the built launcher: a 32-bit GUI program that needs no DLL beyond
the system's, carrying its manifest (invoker's privileges, no UI access,
per-monitor DPI awareness) and its version record."""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll", "advapi32.dll", "gdi32.dll"}


def main(executable, objdump):
    failures = []
    headers = subprocess.run([objdump, "-p", executable], capture_output=True, text=True, check=True).stdout
    if not re.search(r"^Magic\s+010b\s+\(PE32\)", headers, re.M):
        failures.append("not a 32-bit (PE32) executable")
    if not re.search(r"^Subsystem\s+00000002", headers, re.M):
        failures.append("not a GUI-subsystem program")
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    if dlls - SYSTEM_DLLS:
        failures.append(f"needs DLLs beside it: {sorted(dlls - SYSTEM_DLLS)}")

    data = open(executable, "rb").read()
    manifest = re.search(rb"<assembly.*?</assembly>", data, re.S)
    if manifest is None:
        failures.append("no manifest")
    else:
        text = manifest.group(0).decode("utf-8")
        expected = {
            "asInvoker": r'<requestedExecutionLevel[^>]*level="asInvoker"',
            "no UI access": r'<requestedExecutionLevel[^>]*uiAccess="false"',
            "per-monitor v2": r"<dpiAwareness[^>]*>\s*PerMonitorV2\s*</dpiAwareness>",
            "dpiAware fallback": r"<dpiAware[^>]*>\s*true\s*</dpiAware>",
        }
        failures += [f"manifest lacks {what}" for what, pattern in expected.items() if not re.search(pattern, text)]
    for field in ("FileVersion", "ProductName", "OriginalFilename"):
        if field.encode("utf-16-le") not in data:
            failures.append(f"version record lacks {field}")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("executable: every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
