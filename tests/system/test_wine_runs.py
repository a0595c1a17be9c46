"""The real pivane.exe under Wine, run silently or refused, with its state
read back from the registry and the prefix's files."""
import pytest

from conftest import ICON_KEY, ICON_SIZE_KEY, LIBRARY

INSTALLED = r"C:\windows\system32\pivane.dll,0"
FALLBACK = r"C:\windows\system32\shell32.dll,4"


def run_silently(prefix, exe, switch="/S"):
    code, _ = prefix.run_pivane(exe, switch)
    assert code == 0


def test_windows_3_is_refused_even_when_silent(win32, exe):
    win32.reg_add(r"HKCU\Software\Wine", "Version", "win31")
    win32.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", "user32.MessageBoxA")
    code, trace = win32.run_pivane(exe, "/S", relay=True)
    assert code == 0
    calls = [line for line in trace.splitlines() if "Call user32.MessageBoxA(" in line]
    assert len(calls) == 1, trace[-2000:]
    assert ('"Ce programme ne peut pas \\xeatre utilis\\xe9 sous Windows 3.x !",'
            in calls[0])
    assert calls[0].split("MessageBoxA(")[1].startswith("00000000,")
    assert '"Pivane pour Windows 9x-XP",00000010)' in calls[0]
    # Nothing else is touched on such a platform.
    assert win32.reg_query(ICON_KEY, "4") is None
    assert not (win32.system32 / "pivane.dll").exists()


def test_silent_runs_install_and_uninstall(win32, exe):
    old = win32.system32 / "pivact.dll"
    old.write_bytes(b"o" * 7680)
    win32.wine("attrib", "+r", "+h", r"C:\windows\system32\pivact.dll")
    size_before = win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size")

    run_silently(win32, exe, "/S")
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert (win32.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()
    assert not old.exists()
    assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == (size_before or "32")

    run_silently(win32, exe, "/s")
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()

    run_silently(win32, exe, "/S")
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED


@pytest.mark.parametrize("size", [100, 5121])
def test_foreign_file_blocks_the_install(win32, exe, size):
    foreign = win32.system32 / "pivane.dll"
    foreign.write_bytes(b"f" * size)
    run_silently(win32, exe)
    assert win32.reg_query(ICON_KEY, "4") is None
    assert foreign.read_bytes() == b"f" * size


def test_file_of_the_library_size_is_accepted_unchanged(win32, exe):
    existing = win32.system32 / "pivane.dll"
    existing.write_bytes(b"a" * 5120)
    run_silently(win32, exe)
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert existing.read_bytes() == b"a" * 5120


# On 64-bit Windows the shell reads the 64-bit registry and the real system
# directory; a 32-bit program must write there, not to its redirected views.
def test_64_bit_windows_sees_install_and_uninstall(win64, exe):
    run_silently(win64, exe)
    assert win64.reg_query(ICON_KEY, "4", view64=True) == INSTALLED
    assert win64.reg_query(ICON_KEY, "4") is None  # nothing in the 32-bit view
    assert (win64.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()
    assert not (win64.syswow64 / "pivane.dll").exists()

    run_silently(win64, exe)
    assert win64.reg_query(ICON_KEY, "4", view64=True) == FALLBACK
    assert not (win64.system32 / "pivane.dll").exists()
    assert not (win64.syswow64 / "pivane.dll").exists()
