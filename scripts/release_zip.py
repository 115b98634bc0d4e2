"""Writes one release ZIP so that the same files and the same time give the
same bytes on every run, in any folder, time zone or umask.

Python's zipfile writes the fields it is given and adds nothing of its own:
the entries go in sorted, each dated with the commit's time in UTC (a ZIP's
DOS time has no zone, so a local time would change with TZ), with fixed modes
and no extra fields (no uid/gid, no extended time stamps), compressed at one
fixed level. Nothing needs normalising afterwards.

An executable goes in only if the linker stamped it with that same time.

Usage: release_zip.py --output X.zip --folder NAME --epoch SECONDS name=file...
"""
import argparse
import os
import struct
import sys
import time
import zipfile

UNIX = 3  # "made by" system: the mode in the upper half of external_attr is read
FILE_MODE = 0o100644
FOLDER_MODE = 0o040755
MSDOS_FOLDER = 0x10


def pe_time_stamp(data):
    """The COFF header's time stamp, or None if the bytes are no PE image."""
    if data[:2] != b"MZ":
        return None
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<I", data, header + 8)[0]


def entry(name, epoch, mode):
    info = zipfile.ZipInfo(name, date_time=time.gmtime(epoch)[:6])
    info.create_system = UNIX
    info.external_attr = mode << 16
    return info


def folders_of(names):
    """Every folder the names lie in, each as "a/b/", so that every folder has its own entry."""
    folders = set()
    for name in names:
        parts = name.split("/")[:-1]
        folders.update("/".join(parts[:depth]) + "/" for depth in range(1, len(parts) + 1))
    return folders


def write_zip(output, folder, epoch, files):
    """files maps each name inside the folder ("cmake/x" for one in a subfolder) to its bytes."""
    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted([""] + list(files) + list(folders_of(files))):
            if name == "" or name.endswith("/"):
                folder_entry = entry(f"{folder}/{name}", epoch, FOLDER_MODE)
                folder_entry.external_attr |= MSDOS_FOLDER
                archive.writestr(folder_entry, b"")
            else:
                archive.writestr(entry(f"{folder}/{name}", epoch, FILE_MODE), files[name],
                                 compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(partial, output)


def read_files(pairs, epoch):
    """name=file pairs read into a map; fails on an executable not stamped with epoch."""
    files = {}
    for pair in pairs:
        name, _, path = pair.partition("=")
        with open(path, "rb") as source:
            data = source.read()
        if name.lower().endswith(".exe") and pe_time_stamp(data) != epoch:
            sys.exit(f"release_zip: {path} carries the time stamp {pe_time_stamp(data)}, not the commit's "
                     f"{epoch}: was it linked with SOURCE_DATE_EPOCH?")
        files[name] = data
    return files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--output", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--epoch", required=True, help="the commit's time, seconds since 1970 (UTC)")
    parser.add_argument("files", nargs="+", metavar="name=file")
    args = parser.parse_args()
    if not args.epoch.isdigit():
        sys.exit("release_zip: no commit time: configure the build in a git checkout or with SOURCE_DATE_EPOCH set")
    epoch = int(args.epoch)
    os.makedirs(os.path.dirname(args.output), exist_ok=True)
    write_zip(args.output, args.folder, epoch, read_files(args.files, epoch))
    print(f"release_zip: wrote {args.output}")


if __name__ == "__main__":
    main()
