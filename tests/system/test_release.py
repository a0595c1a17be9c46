"""The download as a Windows user gets it, and as two builds make it."""
import os
import re
import secrets
import shutil
import subprocess
import zipfile

import pytest

from conftest import ROOT

ZIP = "pivane-2.1.s.zip"


def release(place, *args, env=None, check=True):
    """Runs the release command in a copy of the working tree at `place`;
    returns the dist folder and what the command printed."""
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           cwd=ROOT, check=True, capture_output=True).stdout.split(b"\0")
    for name in filter(None, (f.decode() for f in files)):
        if (ROOT / name).is_file():
            (place / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, place / name)
    result = subprocess.run(["bash", "scripts/release.sh", *args], cwd=place, check=check,
                            capture_output=True, stdin=subprocess.DEVNULL, timeout=900, env=env)
    return place / "dist", result.stdout + result.stderr


@pytest.fixture(scope="module")
def dist(tmp_path_factory):
    first, _ = release(tmp_path_factory.mktemp("one"))
    second, _ = release(tmp_path_factory.mktemp("elsewhere") / "two")
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


# A leading dash, quotes and a dollar sign, that careless quoting on the way
# to osslsigncode would cut or change; and a tail found in no file before.
PASSWORD = "-s3cr$t \"pw\" 'x'; " + secrets.token_hex(8)

# osslsigncode as the release finds it on PATH: logs its arguments, and the
# kind of file that -readpass names, then hands on to Debian's.
STAND_IN = """#!/bin/bash
printf '%s\\n' "$@" >>"$ARGS_LOG"
args=("$@")
for i in "${!args[@]}"; do
  [ "${args[i]}" = -readpass ] && stat -L -c 'readpass: %F' "${args[i+1]}" >>"$ARGS_LOG"
done
exec /usr/bin/osslsigncode "$@"
"""


def make_certificate(keys, password_env):
    """A throwaway code-signing certificate: cert.pem, and cert.pfx under the
    password in the environment given."""
    quiet = dict(check=True, capture_output=True, stdin=subprocess.DEVNULL)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Pivane test", "-keyout", keys / "key.pem",
                    "-out", keys / "cert.pem", "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning"], **quiet)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", keys / "key.pem",
                    "-in", keys / "cert.pem", "-out", keys / "cert.pfx",
                    "-passout", "env:PIVANE_SIGN_PASSWORD"], env=password_env, **quiet)
    return keys / "cert.pfx"


def test_a_file_without_password_signs_and_a_release_that_stops_leaves_no_zip(
        tmp_path_factory):
    keys = tmp_path_factory.mktemp("bare-keys")
    env = dict(os.environ, PIVANE_SIGN_PASSWORD="")
    env.pop("PIVANE_SIGN_TIMESTAMP", None)
    pfx = make_certificate(keys, env)
    place = tmp_path_factory.mktemp("bare")
    dist, _ = release(place, "--sign", str(pfx), env=env)
    with zipfile.ZipFile(dist / ZIP) as archive:
        archive.extract("PIVANE.EXE", keys)
    subprocess.run(["osslsigncode", "verify", "-CAfile", keys / "cert.pem",
                    "-in", keys / "PIVANE.EXE"], check=True, capture_output=True)

    earlier = {name: (dist / name).read_bytes() for name in (ZIP, "SHA256SUMS")}
    unset = dict(env)
    del unset["PIVANE_SIGN_PASSWORD"]
    stops = [  # what stops the release, and what it says
        (unset, pfx, b"PIVANE_SIGN_PASSWORD is not set"),
        (dict(env, PIVANE_SIGN_PASSWORD="wrong"), pfx, b"could not sign"),
        (env, keys / "gone.pfx", b"cannot read the certificate file"),
    ]
    for stop_env, certificate, said in stops:
        for name, data in earlier.items():
            (dist / name).write_bytes(data)
        _, out = release(place, "--sign", str(certificate), env=stop_env, check=False)
        assert said in out, out
        assert not list(dist.iterdir()), (said, out)


def test_signed_release_verifies_gives_the_same_bytes_twice_and_keeps_its_password(
        tmp_path_factory):
    keys = tmp_path_factory.mktemp("keys")
    (keys / "osslsigncode").write_text(STAND_IN)
    (keys / "osslsigncode").chmod(0o755)
    env = dict(os.environ, PIVANE_SIGN_PASSWORD=PASSWORD, ARGS_LOG=str(keys / "args"),
               PATH=f"{keys}:{os.environ['PATH']}")
    env.pop("PIVANE_SIGN_TIMESTAMP", None)
    quiet = dict(check=True, capture_output=True, stdin=subprocess.DEVNULL)
    make_certificate(keys, env)

    places = [tmp_path_factory.mktemp("signed"), tmp_path_factory.mktemp("elsewhere") / "signed"]
    runs = [release(place, "--sign", str(keys / "cert.pfx"), env=env) for place in places]
    (first, _), (second, _) = runs
    assert (first / ZIP).read_bytes() == (second / ZIP).read_bytes()
    assert (first / "SHA256SUMS").read_bytes() == (second / "SHA256SUMS").read_bytes()

    with zipfile.ZipFile(first / ZIP) as archive:
        archive.extract("PIVANE.EXE", keys)
    signed = keys / "PIVANE.EXE"
    subprocess.run(["osslsigncode", "verify", "-CAfile", keys / "cert.pem", "-in", signed],
                   **quiet)
    # Signing adds a signature and changes nothing of the program.
    subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", keys / "bare.exe"],
                   **quiet)
    assert (keys / "bare.exe").read_bytes() == \
        (places[0] / "build" / "release" / "pivane.exe").read_bytes()

    secret = PASSWORD.encode()
    assert not [path for place in places for path in place.rglob("*")
                if path.is_file() and secret in path.read_bytes()]
    assert all(secret not in out for _, out in runs)
    # Twice signed, twice through a pipe, never on a command line.
    log = (keys / "args").read_text()
    assert log.count("readpass: fifo") == 2 and PASSWORD not in log
