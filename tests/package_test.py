#!/usr/bin/env python3
"""What users get: packs the build twice, the second time with its files made
a day later, as another folder built on another day would have them. The two
packages must be the same bytes, and a zip must hold the very program that
was built and tested.

    package_test.py BUILD_FOLDER PROGRAM [OTHER FILES THE PACKAGE TAKES]
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import zipfile


def pack(build, into):
    subprocess.run(["cpack", "-D", f"CPACK_OUTPUT_FILE_PREFIX={into}", "-B", into / "stage"],
                   cwd=build, check=True, stdout=subprocess.DEVNULL)
    (package,) = [p for p in into.iterdir() if p.suffix in (".zip", ".deb")]
    return package


def main():
    build = pathlib.Path(sys.argv[1])
    program = pathlib.Path(sys.argv[2])
    inputs = [program] + [pathlib.Path(p) for p in sys.argv[3:]]
    with tempfile.TemporaryDirectory() as folder:
        first = pack(build, pathlib.Path(folder) / "first")
        times = [(p, p.stat()) for p in inputs]
        try:
            for path, stat in times:
                os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns + 86400 * 10**9))
            second = pack(build, pathlib.Path(folder) / "second")
        finally:
            for path, stat in times:
                os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns))
        if first.read_bytes() != second.read_bytes():
            sys.exit(f"{first.name}: packed again with newer files, it differs")
        if first.suffix == ".zip":
            packed = zipfile.ZipFile(first).read(program.name)
            if packed != program.read_bytes():
                sys.exit(f"the {program.name} in {first.name} is not the one built and tested")


if __name__ == "__main__":
    main()
