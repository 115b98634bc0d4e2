"""Checks two release runs of one tree (scripts/check-release.sh makes them):
the same files, byte for byte; each ZIP holding exactly the expected entries,
sorted, under its one folder, with fixed modes and no extra fields; each
executable in it carrying the project's version in its version record (and
its manifest's identity, where it has one) and, for every build named, being
the very file the Wine tests ran.

Usage: check_release.py <first dist> <second dist> [i686] [x86_64]"""
import pathlib
import re
import struct
import sys
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
CONTENTS = ["CHANGELOG.md", "INTEGRATION.md", "LICENSE", "THIRD-PARTY-NOTICES.txt", "ZELTRA_ScreenTool.exe",
            "ZELTRA_ScreenTool_check.exe", "zeltra_screentool.h", "cmake/", "cmake/ZELTRA_ScreenToolConfig.cmake",
            "cmake/ZELTRA_ScreenToolConfigVersion.cmake", "cmake/zeltra_screentool_functions.cmake", "examples/",
            "examples/csharp/", "examples/csharp/ZeltraRecording.cs", "examples/python/",
            "examples/python/zeltra_recording.py"]
# Each build the machine may run: its ZIP's suffix and the tree its Wine tests ran in.
BUILDS = {"i686": ("win32", "build/mingw"), "x86_64": ("win64", "build/mingw-x86_64")}
RECORD_PLACES = ["FileVersion", "ProductVersion", "fixed file version", "fixed product version"]


def version_string(data, key):
    """A value of the version record's string table: a header of three WORDs
    (the value's length in WCHARs second), the key in UTF-16 with its NUL,
    padding to 32 bits, then the value."""
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 6:
        return None
    length = struct.unpack_from("<H", data, at - 4)[0]
    start = at - 6 + ((6 + 2 * (len(key) + 1) + 3) & ~3)
    return data[start:start + 2 * length].decode("utf-16-le").rstrip("\0")


def versions_in(data):
    """Every place an executable states its version, by name."""
    found = {key: version_string(data, key) for key in RECORD_PLACES[:2]}
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # the fixed record's signature
    for name, (high, low) in zip(RECORD_PLACES[2:], ((0, 1), (2, 3)) if at >= 0 else ()):
        words = struct.unpack_from("<4I", data, at + 8)
        found[name] = f"{words[high] >> 16}.{words[high] & 0xFFFF}.{words[low] >> 16}.{words[low] & 0xFFFF}"
    identity = re.search(rb'<assemblyIdentity[^>]*\sversion="([^"]*)"', data)
    if identity:
        found["manifest identity"] = identity.group(1).decode()
    return found


def package_failures(archive, folder, version):
    """The CMake package states the ZIP's version and bitness."""
    bitness = "64" if folder.endswith("-win64") else "32"
    expected = {"cmake/ZELTRA_ScreenToolConfigVersion.cmake": f'set(PACKAGE_VERSION "{version}")',
                "cmake/ZELTRA_ScreenToolConfig.cmake": f"set(ZELTRA_ScreenTool_BITNESS {bitness})"}
    return [f"{folder}/{name} does not say {line}" for name, line in expected.items()
            if f"{folder}/{name}" in archive.namelist() and line not in archive.read(f"{folder}/{name}").decode()]


def zip_failures(path, folder, version, tested_build):
    failures = []
    with zipfile.ZipFile(path) as archive:
        expected = [folder + "/"] + [f"{folder}/{name}" for name in sorted(CONTENTS)]
        if archive.namelist() != expected:
            failures.append(f"{path.name} lists {archive.namelist()}, expected {expected}")
        for info in archive.infolist():
            if info.extra or info.external_attr >> 16 not in (0o100644, 0o040755):
                failures.append(f"{info.filename}: extra field {info.extra!r}, mode {info.external_attr >> 16:o}")
        failures += package_failures(archive, folder, version)
        for name in (n for n in archive.namelist() if n.endswith(".exe")):
            data, stated = archive.read(name), versions_in(archive.read(name))
            if set(stated.values()) != {version + ".0"} or not set(RECORD_PLACES) <= stated.keys():
                failures.append(f"{name}: {version}.0 expected in the version record, found {stated}")
            if tested_build and data != (tested_build / pathlib.Path(name).name).read_bytes():
                failures.append(f"{name} is not the executable the Wine tests ran in {tested_build}")
    return failures


def main(first, second, *arches):
    first, second = pathlib.Path(first), pathlib.Path(second)
    version = re.search(r"project\(\w+ VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
    names, second_names = sorted(p.name for p in first.iterdir()), sorted(p.name for p in second.iterdir())
    failures = [] if names == second_names else [f"the runs wrote different files: {names}, {second_names}"]
    failures += [f"{name} differs between the runs" for name in set(names) & set(second_names)
                 if (first / name).read_bytes() != (second / name).read_bytes()]
    for arch, (suffix, build) in BUILDS.items():
        folder = f"ZELTRA_ScreenTool-{version}-{suffix}"
        if not (first / f"{folder}.zip").exists():
            failures.append(f"no {folder}.zip")
            continue
        failures += zip_failures(first / f"{folder}.zip", folder, version, ROOT / build if arch in arches else None)
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"release: reproducible; the ZIPs of {version} hold what they should; executables are those the "
              f"Wine tests ran for: {' '.join(arches) or 'no build'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
