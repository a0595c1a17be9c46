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


def test_text_opens_right_in_the_notepad_of_windows_95(dist):
    with zipfile.ZipFile(dist / ZIP) as archive:
        data = archive.read("LISEZMOI.TXT")
    assert not re.search(rb"[\xc2-\xf4][\x80-\xbf]", data), "UTF-8 sequences"
    assert data.endswith(b"\r\n") and b"\r" not in data.replace(b"\r\n", b"")
    assert b"\n" not in data.replace(b"\r\n", b"")
    lines = data.decode("cp1252").split("\r\n")
    assert max(map(len, lines)) <= 78
    assert "Version 2.1.s" in lines
