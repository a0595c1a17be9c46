"""Fixtures for the system tests: the built pivane.exe and icon library, a
display of its own for each test, and throwaway Wine prefixes copied from
templates made once per build."""
import contextlib
import fcntl
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "windows"
EXE = BUILD / "pivane.exe"
LIBRARY = BUILD / "resources" / "pivane.dll"
HELPERS = BUILD / "tests"
TEMPLATES = BUILD / "system-test-prefixes"

ICON_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Icons"
ICON_SIZE_KEY = r"HKCU\Control Panel\Desktop\WindowMetrics"
CAPTION = "Pivane pour Windows 9x-XP"

# A box's call as the relay trace prints it: which call, owner, text,
# caption, style. MessageBoxW's strings come as L"...", each character past
# ASCII as \xNNNN.
_STRING = r'[0-9a-f]{8} L?"((?:[^"\\]|\\.)*)"'
_CALL = re.compile(r"Call user32\.MessageBox([AW])\(([0-9a-f]{8})," + _STRING + "," + _STRING +
                   r",([0-9a-f]{8})\) ret=")
_RETURN = re.compile(r"Ret  user32\.MessageBox[AW]\(.*\) retval=([0-9a-f]{8})")


def relay_escaped(text):
    """A text as the relay trace shows it: Windows-1252, with \\r \\n \\t
    \\" \\\\ and \\xNN for the other bytes below 0x20 and from 0x7F."""
    named = {0x0D: r"\r", 0x0A: r"\n", 0x09: r"\t", 0x22: r"\"", 0x5C: r"\\"}
    return "".join(
        named.get(b) or (f"\\x{b:02x}" if b < 0x20 or b >= 0x7F else chr(b))
        for b in text.encode("cp1252"))


class WineHang(Exception):
    """A Windows program that did not end, or a box that did not come, in
    time, or a box that Wine could not show at all (MessageBoxA gave -1, as
    it does without a display). Under emulation Wine itself now and then
    hangs for good or loses its display, so the test command runs a test
    that failed this way once more; a fault of the program's own fails the
    second run as well."""


class Box:
    """One MessageBoxA or MessageBoxW call of a run, and what it returned."""

    def __init__(self, wide, owner, text, caption, style, answer):
        self.wide, self.owner, self.text, self.caption = wide, owner, text, caption
        self.style, self.answer = style, answer

    def __repr__(self):
        return f"Box({self.text!r}, style={self.style:#x}, answer={self.answer})"


def boxes_in(trace):
    calls = [m for m in map(_CALL.search, trace.splitlines()) if m]
    answers = [int(m.group(1), 16) for m in map(_RETURN.search, trace.splitlines()) if m]
    answers += [None] * (len(calls) - len(answers))
    return [Box(c.group(1) == "W", int(c.group(2), 16), c.group(3), c.group(4),
                int(c.group(5), 16), a) for c, a in zip(calls, answers)]


@pytest.fixture(scope="session")
def exe():
    if not EXE.is_file():
        pytest.fail(f"{EXE} is missing: build the windows preset first")
    return EXE


def helper(name):
    path = HELPERS / f"{name}.exe"
    if not path.is_file():
        pytest.fail(f"{path} is missing: build the windows preset first")
    return path


def template(arch):
    path = TEMPLATES / arch
    TEMPLATES.mkdir(parents=True, exist_ok=True)
    # Tests running side by side make each template once.
    with open(TEMPLATES / f"{arch}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        subprocess.run(["bash", str(ROOT / "scripts" / "make-wine-prefix.sh"), str(path), arch,
                        "test"], check=True, timeout=1800, stdin=subprocess.DEVNULL)
    return path


@contextlib.contextmanager
def xvfb():
    """An X display of its own (Xvfb, no window manager)."""
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        pytest.fail("Xvfb and xdotool are needed: run scripts/install-deps.sh")
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=[write], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as numbers:
        number = numbers.readline().strip()
    if not number:
        server.kill()
        pytest.fail("Xvfb did not start")
    try:
        yield f":{number}"
    finally:
        server.kill()
        server.wait()


@pytest.fixture
def display():
    with xvfb() as number:
        yield number


class Prefix:
    """A fresh Wine prefix on a display of its own, with a running
    wineserver of its own."""

    def __init__(self, path, arch, display):
        self.path = path
        self.arch = arch
        self.display = display
        self.env = dict(os.environ)
        self.env.update(
            WINEPREFIX=str(path),
            DISPLAY=display,
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe=",
            QEMU_RESERVED_VA="0x81000000",
            LC_ALL="C",
        )
        self.system32 = path / "drive_c" / "windows" / "system32"
        self.syswow64 = path / "drive_c" / "windows" / "syswow64"
        subprocess.run(["bash", str(ROOT / "scripts" / "wine-warm.sh"), str(path)], check=True,
                       env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       timeout=600)

    def wine(self, *args, timeout=180):
        # Output goes through files, not pipes: the services that the first
        # call starts inherit its handles and would hold a pipe open for as
        # long as the wineserver lives.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                result = subprocess.run(["wine", *map(str, args)], env=self.env,
                                        timeout=timeout, stdin=subprocess.DEVNULL, stdout=out,
                                        stderr=err)
            except subprocess.TimeoutExpired as hang:
                raise WineHang(f"wine {args} did not end within {timeout} s") from hang
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(result.args, result.returncode, out.read(),
                                               err.read())

    def start(self, *args, relay=False, channels="", stdin=subprocess.DEVNULL,
              stdout=subprocess.DEVNULL, cwd=None):
        """Starts a Windows program; its relay trace (and Wine's trace of the
        channels named, such as ",+exec") goes to the returned process's
        `trace` file."""
        env = dict(self.env)
        if relay:
            env["WINEDEBUG"] = "+pid,+relay" + channels
        trace = tempfile.NamedTemporaryFile(prefix="relay-", suffix=".txt")
        process = subprocess.Popen(["wine", *map(str, args)], env=env, stdin=stdin,
                                   stdout=stdout, stderr=trace, cwd=cwd)
        process.trace = trace
        return process

    @contextlib.contextmanager
    def running(self, *args):
        """A Windows program left running for the length of a with block."""
        process = self.start(*args)
        try:
            yield process
        finally:
            process.kill()
            process.wait()
            process.trace.close()

    def run_pivane(self, exe, *args, answers=(), launcher=None, channels="", timeout=240,
                   before_answer=None):
        """Runs pivane.exe and answers its boxes in turn with the xdotool
        keys given (Return takes the default button), each once
        before_answer(index), where given, has returned. Returns the exit code
        and every box the run showed, read from the relay trace, which stays
        in `trace`."""
        command = [launcher, *args] if launcher else [exe, *args]
        process = self.start(*command, relay=True, channels=channels)
        deadline = time.monotonic() + timeout
        try:
            for index, key in enumerate(answers):
                if before_answer:
                    before_answer(index)
                self._answer(process, index, key, deadline)
            try:
                code = process.wait(timeout=max(1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired as hang:
                raise WineHang(f"pivane.exe did not end: {boxes_in(self._trace(process))}") \
                    from hang
            self.trace = self._trace(process)
            boxes = boxes_in(self.trace)
            # Answered, then gone: the box came, but Wine could not show it.
            if any(box.answer == 0xFFFFFFFF for box in boxes):
                raise WineHang(f"Wine could not show a box: {boxes}")
            return code, boxes
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.trace.close()

    @staticmethod
    def _trace(process):
        return Path(process.trace.name).read_bytes().decode("latin-1")

    def _boxes_called(self, process):
        return len(_CALL.findall(self._trace(process)))

    def _answer(self, process, index, key, deadline):
        # X window ids are reused, so a box is told from the one before it
        # by the count of MessageBoxA and MessageBoxW calls in the trace: box index+1 has
        # been called, and box index+2 not yet, while this one is answered.
        def progressed():
            return process.poll() is not None or self._boxes_called(process) > index + 1

        while self._boxes_called(process) < index + 1:
            if process.poll() is not None:
                boxes = boxes_in(self._trace(process))
                if any(box.answer == 0xFFFFFFFF for box in boxes):
                    raise WineHang(f"Wine could not show a box: {boxes}")
                raise AssertionError(f"pivane.exe ended before box {index + 1}: {boxes}")
            self._check(deadline, f"box {index + 1} never came")
            time.sleep(0.2)
        while not progressed():
            self._check(deadline, f"box {index + 1} was never answered")
            window = self._xdotool("search", "--onlyvisible", "--name", f"^{CAPTION}$")
            if window and self._xdotool("windowfocus", "--sync", window.split()[-1]) is not None:
                self._xdotool("key", "--clearmodifiers", key)
                # A key that did not reach the box is sent again.
                until = time.monotonic() + 15
                while not progressed() and time.monotonic() < until:
                    time.sleep(0.2)
            else:
                time.sleep(0.3)

    def _xdotool(self, *args):
        try:
            result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                                    text=True, timeout=20)
        except subprocess.TimeoutExpired:
            return None
        return result.stdout.strip() if result.returncode == 0 else None

    @staticmethod
    def _check(deadline, message):
        if time.monotonic() > deadline:
            raise WineHang(message)

    def reg_query(self, key, value, view64=False):
        """The data of a value as `reg query` prints it, or None."""
        args = ["reg", "query", key, "/v", value] + (["/reg:64"] if view64 else [])
        out = self.wine(*args).stdout.decode("latin-1")
        for line in out.splitlines():
            # "    NAME    REG_TYPE    DATA": names may hold single spaces.
            match = re.match(r"^ {4}(.+?) {4}(REG_\w+)(?: {4}(.*))?$", line.rstrip("\r"))
            if match and match.group(1) == value:
                return match.group(3) or ""
        return None

    def reg_add(self, key, value, data, kind="REG_SZ"):
        result = self.wine("reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f")
        assert result.returncode == 0, result.stderr

    def windows_path(self, path):
        return "Z:" + str(path).replace("/", "\\")

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A prefix is over half a gigabyte: none is kept after its test.
        shutil.rmtree(self.path, ignore_errors=True)


def make_prefix(arch, tmp_path, display):
    path = tmp_path / arch
    shutil.copytree(template(arch), path, symlinks=True)
    return Prefix(path, arch, display)


@pytest.fixture
def win32(tmp_path, display):
    prefix = make_prefix("win32", tmp_path, display)
    yield prefix
    prefix.close()


@pytest.fixture
def win64(tmp_path, display):
    prefix = make_prefix("win64", tmp_path, display)
    yield prefix
    prefix.close()
