"""Fixtures for the system tests: the built pivane.exe and icon library,
and throwaway Wine prefixes copied from templates made once per build."""
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "windows"
EXE = BUILD / "pivane.exe"
LIBRARY = BUILD / "resources" / "pivane.dll"
TEMPLATES = BUILD / "system-test-prefixes"

ICON_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Icons"
ICON_SIZE_KEY = r"HKCU\Control Panel\Desktop\WindowMetrics"


def wine_environment(prefix):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.update(
        WINEPREFIX=str(prefix),
        WINEDEBUG="-all",
        WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe=",
        QEMU_RESERVED_VA="0x81000000",
        LC_ALL="C",
    )
    return env


@pytest.fixture(scope="session")
def exe():
    if not EXE.is_file():
        pytest.fail(f"{EXE} is missing: build the windows preset first")
    return EXE


def template(arch):
    path = TEMPLATES / arch
    subprocess.run(["bash", str(ROOT / "scripts" / "make-wine-prefix.sh"), str(path), arch],
                   check=True, timeout=900)
    return path


class Prefix:
    """A fresh Wine prefix with a running wineserver of its own."""

    def __init__(self, path, arch):
        self.path = path
        self.arch = arch
        self.env = wine_environment(path)
        self.system32 = path / "drive_c" / "windows" / "system32"
        self.syswow64 = path / "drive_c" / "windows" / "syswow64"
        subprocess.run(["bash", str(ROOT / "scripts" / "wine-warm.sh"), str(path)], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=600)

    def wine(self, *args, env=None, timeout=300):
        # Output goes through files, not pipes: the services that the first
        # call starts inherit its handles and would hold a pipe open for as
        # long as the wineserver lives.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(["wine", *map(str, args)], env=env or self.env,
                                    timeout=timeout, stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(result.args, result.returncode, out.read(),
                                               err.read())

    def run_pivane(self, exe, *args, relay=False, timeout=300):
        """Runs pivane.exe; with relay, its MessageBoxA calls are traced."""
        env = dict(self.env)
        if relay:
            env["WINEDEBUG"] = "+pid,+relay"
        result = self.wine(exe, *args, env=env, timeout=timeout)
        return result.returncode, result.stderr.decode("latin-1")

    def reg_query(self, key, value, view64=False):
        """The data of a string value as `reg query` prints it, or None."""
        args = ["reg", "query", key, "/v", value] + (["/reg:64"] if view64 else [])
        out = self.wine(*args).stdout.decode("latin-1")
        for line in out.splitlines():
            # "    NAME    REG_TYPE    DATA": names may hold single spaces.
            match = re.match(r"^ {4}(.+?) {4}(REG_\w+)(?: {4}(.*))?$", line.rstrip("\r"))
            if match and match.group(1) == value:
                return match.group(3) or ""
        return None

    def reg_add(self, key, value, data, kind="REG_SZ"):
        self.wine("reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f")

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env)


def make_prefix(arch, tmp_path):
    path = tmp_path / arch
    shutil.copytree(template(arch), path, symlinks=True)
    return Prefix(path, arch)


@pytest.fixture
def win32(tmp_path):
    prefix = make_prefix("win32", tmp_path)
    yield prefix
    prefix.close()


@pytest.fixture
def win64(tmp_path):
    prefix = make_prefix("win64", tmp_path)
    yield prefix
    prefix.close()
