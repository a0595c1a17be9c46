"""The check kit for real Windows, run under Wine's cmd as a tester runs it:
from a 32-bit prompt of a 64-bit system, the tester's answers typed in."""
import hashlib
import os
import re
import shutil
import subprocess
import threading
import time
from pathlib import Path

from conftest import ICON_KEY, ICON_SIZE_KEY, ROOT, WineHang

KIT = ROOT / "scripts" / "PIVCHECK.CMD"

RECORD_KEY = r"HKCU\Software\Pivane"

# The tester's answers, in the order the kit asks: put back what a run cut
# off found, go on, then each question (one answer the kit does not take,
# asked again).
TYPED = ["y", "y", "n", "y", "y", "maybe", "n", "y"]
# Pivane's boxes in turn: the install (Oui, OK); Non at the row that asks
# for it, and Non again at the last removal, which asks for Oui.
BOXES = ["y", "Return", "n", "n"]

ROWS = {
    **dict.fromkeys(("E-SI-1", "E-SI-2", "E-SI-MEND", "E-SU-1", "E-SU-2", "E-S-1", "E-S-2",
                     "E-SIU", "E-I", "E-U-NO"), "PASS"),
    "E-U": "FAIL", "E-WARN": "no", "E-I-FRONT": "yes", "E-I-DONE": "yes", "E-ICON": "no",
    "E-U-DONE": "yes",
}


def type_answers(process, output, answers):
    """Types each answer once the kit has asked for it, as a person does:
    Wine's set /p takes whatever waits in the pipe at once. No more answers
    is the end of the input."""
    for count, answer in enumerate(answers, 1):
        while output.read_text(errors="replace").count("[y/n] ") < count:
            if process.poll() is not None:
                return
            time.sleep(0.2)
        process.stdin.write(f"{answer}\r\n".encode())
        process.stdin.flush()
    process.stdin.close()


def close_window(prefix):
    """Ends the prefix's prompts at once, as closing the kit's window does."""
    for process in Path("/proc").iterdir():
        try:
            if (process / "comm").read_text().strip() == "cmd.exe" and \
                    f"WINEPREFIX={prefix.path}".encode() in \
                    (process / "environ").read_bytes().split(b"\0"):
                os.kill(int(process.name), 9)
        except (OSError, ValueError):
            pass


def run_kit(prefix, folder, typed, boxes=(), cut_after=None):
    """Runs the kit from its folder (Wine's cmd /c splits a path at an &),
    from a 32-bit prompt; closes its window once row cut_after is out.
    Returns what it printed."""
    output = prefix.path / "kit-output.txt"
    with open(output, "wb") as out:
        process = prefix.start(r"C:\windows\syswow64\cmd.exe", "/c", "PIVCHECK.CMD",
                               relay=bool(boxes), stdin=subprocess.PIPE, stdout=out, cwd=folder)
    threading.Thread(target=type_answers, args=(process, output, typed), daemon=True).start()
    deadline = time.monotonic() + 900
    try:
        for index, key in enumerate(boxes):
            prefix._answer(process, index, key, deadline)
        while cut_after and not re.search(rf"\b{cut_after} (PASS|FAIL) ",
                                          output.read_text(errors="replace")):
            if process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"no row {cut_after}: {output.read_text(errors='replace')}")
            time.sleep(0.2)
        if cut_after:
            close_window(prefix)
        try:
            process.wait(timeout=max(1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired as hang:
            raise WineHang(f"the kit did not end: {output.read_text(errors='replace')}") from hang
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
        process.trace.close()
    return output.read_text(errors="replace")


# One folder with & in its name; a record left by a run of Pivane cut off
# (the size "16", the user's "32" recorded); a run of the kit cut off after
# its first install; the next run, which puts back first, then takes the
# whole road with Non at the last removal; then a library not Pivane's.
def test_kit_reports_each_row_and_leaves_the_option_as_found(win64, exe):
    folder = win64.path / "drive_c" / "Kit & Co"
    folder.mkdir()
    shutil.copy(exe, folder / "PIVANE.EXE")
    shutil.copy(KIT, folder / "PIVCHECK.CMD")
    key_found = win64.wine("reg", "query", ICON_KEY, "/reg:64").returncode
    win64.reg_add(ICON_SIZE_KEY, "Shell Icon Size", "16")
    win64.reg_add(RECORD_KEY, "Shell Icon Size", "0101000000333200", "REG_BINARY")

    # The record replayed before the size is read as found.
    assert "E-SI-1 PASS" in run_kit(win64, folder, ["y"], cut_after="E-SI-1")
    assert win64.reg_query(ICON_KEY, "4", view64=True) is not None

    printed = run_kit(win64, folder, TYPED, BOXES)
    report = (folder / "PIVCHECK-ADMIN.TXT").read_text(encoding="ascii")
    header = dict(line[2:].split(": ", 1) for line in report.splitlines() if line[:2] == "# "
                  and ": " in line)
    rows = [line.split(" ", 2) for line in report.splitlines() if not line.startswith("#")]
    assert {row[0]: row[1] for row in rows} == ROWS and len(rows) == len(ROWS), printed
    # What the kit saw where the tester did not answer as told.
    assert dict((row[0], row[2]) for row in rows)["E-U"] == \
        "/U: code 2 [want 0], value pivane [want shell32], file 5120 [want absent]," \
        " icon size as found"
    assert not re.search(r"\d:\d\d", "\n".join(row[2] for row in rows)), report

    assert header["elevated"] == "yes (net session)"
    assert header["architecture"] == "AMD64, PROCESSOR_ARCHITEW6432=; run again from a" \
        " 32-bit prompt: x86, PROCESSOR_ARCHITEW6432=AMD64", report
    assert header["PIVANE.EXE SHA-256"] in (hashlib.sha256(exe.read_bytes()).hexdigest(),
                                            "unavailable")
    found = "value absent, file absent, key " + ("present" if key_found == 0 else "absent")
    assert header["found"] == found + ", icon size REG_SZ 32"
    assert header["left"] == "as found: " + found, report
    assert header["failed rows"] == "1; answered by the tester: 5 questions, 3 runs"
    assert not (folder / "PIVCHECK-FOUND.TXT").exists()

    # A library of Pivane's size that value 4 does not name is another's.
    foreign = bytes(range(256)) * 20
    (win64.system32 / "pivane.dll").write_bytes(foreign)
    printed = run_kit(win64, folder, [])
    assert "[y/n]" not in printed, printed
    assert (win64.system32 / "pivane.dll").read_bytes() == foreign
    # The 64-bit view, as the kit saw it.
    assert win64.reg_query(ICON_KEY, "4", view64=True) is None
    assert win64.wine("reg", "query", ICON_KEY, "/reg:64").returncode == key_found
    assert win64.wine("reg", "query", RECORD_KEY).returncode != 0
    assert win64.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == "32"
