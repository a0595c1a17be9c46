"""The check kit for real Windows, run under Wine's cmd as a tester runs it:
from a 32-bit prompt of a 64-bit system, the tester's answers typed in."""
import hashlib
import re
import shutil
import subprocess
import threading
import time

from conftest import ICON_KEY, ICON_SIZE_KEY, ROOT, WineHang

KIT = ROOT / "scripts" / "PIVCHECK.CMD"

# The tester's answers, in the order the kit asks: go on, then each
# question (one answer the kit does not take, asked again).
TYPED = ["y", "n", "y", "y", "maybe", "n", "y"]
# Pivane's boxes in turn: the install (Oui, OK); at the row that asks for
# Non, a tester who answers Oui (and OK), which the kit must report; the
# removal that then finds the option already removed (OK).
BOXES = ["y", "Return", "y", "Return", "Return"]

ROWS = {
    **dict.fromkeys(("E-SI-1", "E-SI-2", "E-SI-MEND", "E-SU-1", "E-SU-2", "E-S-1", "E-S-2",
                     "E-SIU", "E-I", "E-U"), "PASS"),
    "E-U-NO": "FAIL", "E-WARN": "no", "E-I-FRONT": "yes", "E-I-DONE": "yes", "E-ICON": "no",
    "E-U-DONE": "yes",
}


def type_answers(process, output, answers):
    """Types each answer once the kit has asked for it, as a person does:
    Wine's set /p takes whatever waits in the pipe at once."""
    for count, answer in enumerate(answers, 1):
        while output.read_text(errors="replace").count("[y/n] ") < count:
            if process.poll() is not None:
                return
            time.sleep(0.2)
        process.stdin.write(f"{answer}\r\n".encode())
        process.stdin.flush()


def test_kit_reports_each_row_and_leaves_the_option_as_found(win64, exe):
    folder = win64.path / "drive_c" / "Kit"
    folder.mkdir()
    shutil.copy(exe, folder / "PIVANE.EXE")
    shutil.copy(KIT, folder / "PIVCHECK.CMD")
    output = win64.path / "kit-output.txt"
    key_found = win64.wine("reg", "query", ICON_KEY, "/reg:64").returncode
    # A size of the user's own, which every run must leave as it is.
    win64.reg_add(ICON_SIZE_KEY, "Shell Icon Size", "32")
    with open(output, "wb") as out:
        process = win64.start(r"C:\windows\syswow64\cmd.exe", "/c", r"C:\Kit\PIVCHECK.CMD",
                              relay=True, stdin=subprocess.PIPE, stdout=out)
    typist = threading.Thread(target=type_answers, args=(process, output, TYPED), daemon=True)
    typist.start()
    deadline = time.monotonic() + 900
    try:
        for index, key in enumerate(BOXES):
            win64._answer(process, index, key, deadline)
        try:
            assert process.wait(timeout=max(1, deadline - time.monotonic())) == 0
        except subprocess.TimeoutExpired as hang:
            raise WineHang(f"the kit did not end: {output.read_text(errors='replace')}") from hang
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
        process.trace.close()

    report = (folder / "PIVCHECK-ADMIN.TXT").read_text(encoding="ascii")
    header = dict(line[2:].split(": ", 1) for line in report.splitlines() if line[:2] == "# "
                  and ": " in line)
    rows = [line.split(" ", 2) for line in report.splitlines() if not line.startswith("#")]
    assert {row[0]: row[1] for row in rows} == ROWS and len(rows) == len(ROWS), report
    # What the kit saw where the tester did not answer as told.
    assert dict((row[0], row[2]) for row in rows)["E-U-NO"] == \
        "/U: code 0 [want 2], value shell32 [want pivane], file absent [want 5120]," \
        " icon size as found"
    assert not re.search(r"\d:\d\d", "\n".join(row[2] for row in rows)), report

    assert header["elevated"] == "yes (net session)"
    assert header["architecture"] == "AMD64, PROCESSOR_ARCHITEW6432=; run again from a" \
        " 32-bit prompt: x86, PROCESSOR_ARCHITEW6432=AMD64", report
    assert header["PIVANE.EXE SHA-256"] in (hashlib.sha256(exe.read_bytes()).hexdigest(),
                                            "unavailable")
    assert header["found"] == "value absent, file absent, icon size REG_SZ 32"
    assert header["left"] == "as found: value absent, file absent", report
    assert header["failed rows"] == "1; answered by the tester: 5 questions, 3 runs"
    # The 64-bit view and the real system directory, as the kit saw them.
    assert win64.reg_query(ICON_KEY, "4", view64=True) is None
    assert win64.wine("reg", "query", ICON_KEY, "/reg:64").returncode == key_found
    assert not (win64.system32 / "pivane.dll").exists()
