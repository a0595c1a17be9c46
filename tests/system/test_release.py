"""The download as a Windows user gets it, and as two builds make it."""
import re
import shutil
import subprocess
import zipfile

import pytest

from conftest import ROOT

ZIP = "pivane-2.1.s.zip"


def release(place):
    """Runs the release command in a copy of the working tree at `place`."""
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           cwd=ROOT, check=True, capture_output=True).stdout.split(b"\0")
    for name in filter(None, (f.decode() for f in files)):
        if (ROOT / name).is_file():
            (place / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, place / name)
    subprocess.run(["bash", "scripts/release.sh"], cwd=place, check=True, capture_output=True,
                   stdin=subprocess.DEVNULL, timeout=900)
    return place / "dist"


@pytest.fixture(scope="module")
def dist(tmp_path_factory):
    first = release(tmp_path_factory.mktemp("one"))
    second = release(tmp_path_factory.mktemp("elsewhere") / "two")
    assert (first / ZIP).read_bytes() == (second / ZIP).read_bytes()
    assert (first / "SHA256SUMS").read_bytes() == (second / "SHA256SUMS").read_bytes()
    return first


def test_zip_holds_the_program_and_its_text_and_checks_out(dist, exe, tmp_path):
    with zipfile.ZipFile(dist / ZIP) as archive:
        assert archive.testzip() is None
        assert archive.namelist() == ["PIVANE.EXE", "LISEZMOI.TXT"]
        assert all(info.create_system == 0 and not info.extra and not info.comment
                   for info in archive.infolist())
        archive.extractall(tmp_path)
    assert (tmp_path / "PIVANE.EXE").read_bytes() == exe.read_bytes()
    assert str(dist.parent).encode() not in (dist / ZIP).read_bytes()
    shutil.copy(dist / ZIP, tmp_path)
    shutil.copy(dist / "SHA256SUMS", tmp_path)
    subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=tmp_path, check=True,
                   capture_output=True)


def shipped_text(dist):
    with zipfile.ZipFile(dist / ZIP) as archive:
        return archive.read("LISEZMOI.TXT")


def test_text_opens_right_in_the_notepad_of_windows_95(dist):
    data = shipped_text(dist)
    # Not UTF-8: its accented letters are single bytes, which UTF-8 refuses
    # (and UTF-8 read as Windows-1252 would show its lead bytes as Ã or Â).
    with pytest.raises(UnicodeDecodeError):
        data.decode("utf-8")
    assert "Ã" not in data.decode("cp1252") and "Â" not in data.decode("cp1252")
    assert data.endswith(b"\r\n") and b"\r" not in data.replace(b"\r\n", b"")
    assert b"\n" not in data.replace(b"\r\n", b"")
    # Strict: a byte that Windows-1252 leaves undefined fails here.
    lines = data.decode("cp1252").split("\r\n")
    assert not [line for line in lines if re.search(r"[\x00-\x1f]", line)]
    assert max(map(len, lines)) <= 76
    assert "Version 2.1.s" in lines


def test_both_documents_name_every_exit_code(dist):
    header = (ROOT / "driver" / "Pivane.h").read_text()
    table = re.search(r"enum class RunOutcome[^{]*\{(.*?)\};", header, re.S).group(1)
    codes = {int(code) for code in re.findall(r"=\s*(\d+)", table)}
    assert codes
    readme = (ROOT / "README.md").read_text()
    table = re.search(r"^\| code \| meaning \|\n(?:\|.*\n)+", readme, re.M).group(0)
    assert {int(code) for code in re.findall(r"^\| (\d+) \|", table, re.M)} == codes
    text = shipped_text(dist).decode("cp1252")
    assert {int(code) for code in re.findall(r"^  (\d+) {2,}\S", text, re.M)} == codes
