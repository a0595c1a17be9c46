"""Writes the release: a zip of PIVANE.EXE and LISEZMOI.TXT, and SHA256SUMS
for the zip and the executable.

usage: make-release.py PIVANE_EXE LISEZMOI_SOURCE OUT_DIR

The text is kept in UTF-8 with LF line ends; it ships in Windows-1252 with
CR LF, so that the Notepad of Windows 95 shows it right, and a character that
Windows-1252 cannot hold, or a line too long for Notepad's window, stops the
release. The zip has the 8.3 upper-case names that every unzip tool of the
era reads, one date for both entries, and nothing of the machine that made it.
"""
import hashlib
import io
import os
import sys
import time
import zipfile
from pathlib import Path

VERSION = "2.1.s"
LONGEST_LINE = 76


def shipped_text(source):
    text = source.read_text(encoding="utf-8")
    lines = text.splitlines()
    for number, line in enumerate(lines, 1):
        if len(line) > LONGEST_LINE:
            sys.exit(f"{source}:{number}: {len(line)} characters, over {LONGEST_LINE}")
    try:
        return "".join(line + "\r\n" for line in lines).encode("cp1252")
    except UnicodeEncodeError as error:
        line = text.count("\n", 0, error.start) + 1
        sys.exit(f"{source}:{line}: {error.object[error.start]!r} has no Windows-1252 byte")


def entry(name, date):
    info = zipfile.ZipInfo(name, date_time=date)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix owner or mode
    info.external_attr = 0x20  # the archive attribute, as Windows sets it
    return info


def main(exe, source, out):
    program = exe.read_bytes()
    text = shipped_text(source)
    # DOS dates count two-second steps from 1980 and know no time zone.
    stamp = max(int(os.environ.get("SOURCE_DATE_EPOCH", "0")), 315532800)
    date = time.gmtime(stamp)[:6]
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w", compresslevel=9) as zip_file:
        zip_file.writestr(entry("PIVANE.EXE", date), program)
        zip_file.writestr(entry("LISEZMOI.TXT", date), text)

    out.mkdir(parents=True, exist_ok=True)
    name = f"pivane-{VERSION}.zip"
    (out / name).write_bytes(archive.getvalue())
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {file}\n"
                   for file, data in ((name, archive.getvalue()), ("PIVANE.EXE", program)))
    (out / "SHA256SUMS").write_text(sums)
    print(f"{out / name}: {len(archive.getvalue())} bytes")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*map(Path, sys.argv[1:]))
