"""The real pivane.exe under Wine, as a user meets it: each run on a display
of its own, its boxes answered with the keyboard and read back from the relay
trace, and its state read from the registry and the prefix's files."""
import re
import shutil
import time

import pytest

from conftest import (CAPTION, ICON_KEY, ICON_SIZE_KEY, LIBRARY, WineHang, helper, make_prefix,
                      relay_escaped, xvfb)

INSTALLED = r"C:\windows\system32\pivane.dll,0"
FALLBACK = r"C:\windows\system32\shell32.dll,4"

BANNER = ("Pivane v2.1.s Win95 (icône vivante pour vos dossiers)\r\n\r\n"
          "Fonction : Modification [icône active] pour Explorateur\r\n"
          "Note       : Option réversible en relançant le programme\r\n\r\n")
INSTALL_PROMPT = BANNER + "L'option n'est pas installée. Voulez-vous l'installer ?"
UNINSTALL_PROMPT = BANNER + "L'option est installée. Voulez-vous la désinstaller ?"


def completion(outcome):
    return ("L'installation de Pivane est terminée.\r\n\r\n" + outcome +
            "\r\nVotre système remet à jour ses icônes.\r\n\r\nÀ bientôt avec Pivane.")


INSTALLED_BOX = completion("L'icône de l'explorateur a été modifiée.")
RESTORED_BOX = completion("L'icône de l'explorateur a été restaurée.")
CONFLICT_BOX = "L'installation n'est pas possible pour cause de conflits."
ERROR_BOX = "Une erreur s'est produite durant l'opération !"
REFUSAL_BOX = "Ce programme ne peut pas être utilisé sous Windows 3.x !"

# Styles and answers, as Windows numbers them.
QUESTION, INFORMATION, ERROR = 0x24, 0x40, 0x10
IDOK, IDYES, IDNO = 1, 6, 7


def assert_boxes(boxes, expected):
    """Each box: no owner, the caption, and (text, style, answer) as given."""
    assert [(b.text, b.style, b.answer) for b in boxes] == [
        (relay_escaped(text), style, answer) for text, style, answer in expected]
    assert all(b.owner == 0 and b.caption == relay_escaped(CAPTION) for b in boxes)


def run(prefix, exe, *args, answers=()):
    code, boxes = prefix.run_pivane(exe, *args, answers=answers)
    assert code == 0
    return boxes


def test_typical_road_then_a_run_without_rights(win32, exe):
    # Return takes the default button: Yes on a question, OK on a message.
    boxes = run(win32, exe, answers=["Return", "Return"])
    assert_boxes(boxes, [(INSTALL_PROMPT, QUESTION, IDYES), (INSTALLED_BOX, INFORMATION, IDOK)])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert (win32.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()
    # Wine answers TokenElevation, as Vista and later do: the shell is also
    # told as documented, once the refresh is done.
    assert re.search(r"Call shell32\.SHChangeNotify\(08000000,00000000,00000000,00000000\)",
                     win32.trace)

    boxes = run(win32, exe, answers=["y", "Return"])
    assert_boxes(boxes, [(UNINSTALL_PROMPT, QUESTION, IDYES), (RESTORED_BOX, INFORMATION, IDOK)])
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()

    # Vista and later, a double-click on a program in a folder whose name
    # lies outside the ANSI code page: a token that is not elevated. After
    # Oui the program starts itself again through the shell with "runas"
    # and /S /I with the copy's word, its path whole, a window of its own for the prompt, and no
    # second zone check. Wine shows no prompt and raises nothing: the copy
    # keeps the limited token, so, silent without rights, it changes
    # nothing and ends with 1, and the run says the operation failed, in
    # front.
    folder = win32.path / "drive_c" / "Łódź"
    folder.mkdir()
    shutil.copy(exe, folder / "pivane.exe")
    # Wine takes Unix names as UTF-8 only under a UTF-8 locale; the ANSI code
    # page stays 1252, which has no Ł.
    win32.env["LC_ALL"] = "C.UTF-8"
    command = "%22C:\\%u0141%u00f3d%u017a\\pivane.exe%22 /I"
    code, boxes = win32.run_pivane(exe, "--limited", command, answers=["Return", "Return"],
                                   launcher=helper("pivane_raw_launch"), channels=",+exec")
    assert code == 1
    assert_boxes(boxes, [(INSTALL_PROMPT, QUESTION, IDYES), (ERROR_BOX, ERROR | 0x10000, IDOK)])
    # Wine's own trace of the shell call: the mask, a window, the verb, our
    # file, whole, and switches; and the start that succeeded.
    started = re.search(r'SHELL_execute mask=0x([0-9a-f]+) hwnd=(\w+) verb=L"runas" '
                        r'file=L"C:\\\\\\0141\\00f3d\\017a\\\\pivane\.exe" parm=L"/S /I /COPIE" '
                        r'dir=L"C:\\\\windows\\\\system32"', win32.trace)
    assert started, "no SHELL_execute of the whole path, in the system directory"
    assert int(started.group(1), 16) == 0x00800540
    assert int(started.group(2), 16) != 0
    assert re.search(r"Ret  shell32\.ShellExecuteExW\(.*\) retval=00000001", win32.trace)
    # The DLL search is kept to the system directory before the first box.
    restricted = re.search(r"Call KERNEL32\.SetDefaultDllDirectories\(00000800\).*\n"
                           r".*Ret  KERNEL32\.SetDefaultDllDirectories\(\) retval=00000001",
                           win32.trace, re.IGNORECASE)
    assert restricted and restricted.start() < win32.trace.index("Call user32.MessageBoxA")
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()

    # A drive letter over a folder of C:, as subst makes one: the copy is
    # started from the final path, \\?\ taken off. Wine maps such a file back
    # to the letter, where Windows names the folder behind it.
    (win32.path / "drive_c" / "Outils").mkdir()
    shutil.copy(exe, win32.path / "drive_c" / "Outils" / "pivane.exe")
    (win32.path / "dosdevices" / "s:").symlink_to("../drive_c/Outils")
    code, boxes = win32.run_pivane(exe, "--limited", "S:\\pivane.exe /I",
                                   answers=["Return", "Return"],
                                   launcher=helper("pivane_raw_launch"), channels=",+exec")
    assert code == 1
    assert re.search(r"Ret  KERNEL32\.GetFinalPathNameByHandleW\(.*\) retval=00000011",
                     win32.trace, re.IGNORECASE), "no final path asked"
    assert re.search(r'SHELL_execute .* file=L"S:\\\\pivane\.exe" parm=L"/S /I /COPIE" '
                     r'dir=L"C:\\\\windows\\\\system32"', win32.trace)


# A reported Vista keeps the search open (no SetDefaultDllDirectories
# there): the DLLs that the system loads by name come from the system
# directory before the first box, even the refusal of /I and /U together.
NAMED_BY_THE_SYSTEM = ["uxtheme.dll", "userenv.dll", "setupapi.dll", "apphelp.dll", "propsys.dll",
                       "dwmapi.dll", "cryptbase.dll", "oleacc.dll", "clbcatq.dll", "ntmarta.dll",
                       "version.dll", "profapi.dll", "comres.dll"]


def test_reported_vista_loads_the_named_dlls_before_the_first_box(win32, exe):
    win32.reg_add(r"HKCU\Software\Wine\AppDefaults\pivane.exe", "Version", "vista")
    debug = r"HKCU\Software\Wine\Debug"
    win32.reg_add(debug, "RelayInclude",
                  win32.reg_query(debug, "RelayInclude") + ";kernel32.LoadLibraryExA")
    code, boxes = win32.run_pivane(exe, "/I", "/U", answers=["Return"])
    assert code == 87
    assert_boxes(boxes, [(ERROR_BOX, ERROR, IDOK)])
    box = win32.trace.index("Call user32.MessageBoxA")
    loaded = re.findall(r'Call KERNEL32\.LoadLibraryExA\(\w+ "C:\\\\windows\\\\system32\\\\'
                        r'([\w.]+)",00000000,00000008\)', win32.trace[:box], re.IGNORECASE)
    assert loaded == NAMED_BY_THE_SYSTEM


def test_no_on_either_question_changes_nothing(win32, exe):
    assert_boxes(run(win32, exe, answers=["n"]), [(INSTALL_PROMPT, QUESTION, IDNO)])
    assert win32.reg_query(ICON_KEY, "4") is None
    assert not (win32.system32 / "pivane.dll").exists()

    assert_boxes(run(win32, exe, "/S"), [])
    assert_boxes(run(win32, exe, answers=["n"]), [(UNINSTALL_PROMPT, QUESTION, IDNO)])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert (win32.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()


def test_silent_runs_toggle_without_a_box(win32, exe):
    old = win32.system32 / "pivact.dll"
    old.write_bytes(b"o" * 7680)
    win32.wine("attrib", "+r", "+h", r"C:\windows\system32\pivact.dll")

    assert_boxes(run(win32, exe, "/S"), [])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert (win32.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()
    assert not old.exists()

    assert_boxes(run(win32, exe, "/s"), [])
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()

    # The switch in quotes, on a command line passed on untouched.
    quoted = f'%22{win32.windows_path(exe)}%22 %22/S%22'
    code, boxes = win32.run_pivane(exe, quoted, launcher=helper("pivane_raw_launch"))
    assert code == 0
    assert_boxes(boxes, [])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED


@pytest.mark.parametrize("size", [100, 5121])
def test_foreign_file_is_a_conflict(win32, exe, size):
    foreign = win32.system32 / "pivane.dll"
    foreign.write_bytes(b"f" * size)
    boxes = run(win32, exe, answers=["Return", "Return"])
    assert_boxes(boxes, [(INSTALL_PROMPT, QUESTION, IDYES), (CONFLICT_BOX, ERROR, IDOK)])
    assert win32.reg_query(ICON_KEY, "4") is None
    assert foreign.read_bytes() == b"f" * size


def test_file_of_the_library_size_is_accepted_unchanged(win32, exe):
    existing = win32.system32 / "pivane.dll"
    existing.write_bytes(b"a" * 5120)
    assert_boxes(run(win32, exe, "/S"), [])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert existing.read_bytes() == b"a" * 5120


def test_windows_3_is_refused_even_when_silent(win32, exe):
    win32.reg_add(r"HKCU\Software\Wine", "Version", "win31")
    boxes = run(win32, exe, "/S", answers=["Return"])
    assert_boxes(boxes, [(REFUSAL_BOX, ERROR, IDOK)])
    assert win32.reg_query(ICON_KEY, "4") is None
    assert not (win32.system32 / "pivane.dll").exists()


def test_boxes_read_the_same_whatever_the_code_page(win32, exe, tmp_path):
    # Wine takes the ANSI code page from the locale: 1252, 1251, and UTF-8
    # for a locale that has none. Each box's label is read as the user
    # sees it, whichever call made the box.
    label = tmp_path / "label.txt"
    read = []

    def read_label(index):
        result = win32.wine(helper("pivane_box_reader"), win32.windows_path(label), CAPTION)
        if result.returncode == 3:
            raise WineHang(f"box {index + 1} never came to the reader")
        assert result.returncode == 0, result.returncode
        read.append(label.read_bytes().decode("utf-8"))

    expected = []
    for locale, texts in [("fr_FR.UTF-8", [INSTALL_PROMPT, INSTALLED_BOX]),
                          ("ru_RU.UTF-8", [UNINSTALL_PROMPT, RESTORED_BOX]),
                          ("hi_IN.UTF-8", [INSTALL_PROMPT, CONFLICT_BOX])]:
        if texts[1] == CONFLICT_BOX:
            (win32.system32 / "pivane.dll").write_bytes(b"f" * 100)
        win32.env["LC_ALL"] = locale
        code, boxes = win32.run_pivane(exe, answers=["Return", "Return"],
                                       before_answer=read_label)
        assert code == 0
        # Exactly the same call as before where the code page is 1252.
        assert [b.wide for b in boxes] == [locale != "fr_FR.UTF-8"] * 2, locale
        expected += texts
    assert read == expected


@pytest.fixture(scope="module")
def versions_prefix(tmp_path_factory):
    """One win32 prefix for every Windows version that Wine is told to report."""
    with xvfb() as display:
        prefix = make_prefix("win32", tmp_path_factory.mktemp("versions"), display)
        yield prefix
        prefix.close()


# Wine's name of each version, and what GetVersion then gives the program:
# major, minor, and whether it is of the 9x family. Windows 10 tells a
# program without a manifest that it is 6.2, as Windows 8 was.
@pytest.mark.xdist_group("versions")
@pytest.mark.parametrize("version, major, minor, nine_x", [
    ("win95", 4, 0, True), ("win98", 4, 10, True), ("winme", 4, 90, True),
    ("nt40", 4, 0, False), ("win2k", 5, 0, False), ("winxp", 5, 1, False),
    ("vista", 6, 0, False), ("win7", 6, 1, False), ("win10", 6, 2, False)])
def test_silent_toggle_on_each_windows(versions_prefix, exe, version, major, minor, nine_x):
    prefix = versions_prefix
    prefix.reg_add(r"HKCU\Software\Wine\AppDefaults\pivane.exe", "Version", version)
    library = prefix.system32 / "pivane.dll"
    for installed in (True, False):
        assert_boxes(run(prefix, exe, "/S"), [])
        # The program's own call is the last one.
        reported = re.findall(r"Ret  KERNEL32\.GetVersion\(\) retval=([0-9a-f]{8})", prefix.trace)
        value = int(reported[-1], 16)
        assert (value & 0xFF, value >> 8 & 0xFF, bool(value & 0x80000000)) == (major, minor, nine_x)
        assert prefix.reg_query(ICON_KEY, "4") == (INSTALLED if installed else FALLBACK)
        left = library.read_bytes() if library.exists() else None
        assert left == (LIBRARY.read_bytes() if installed else None)


def wait_for(path, seconds, what):
    until = time.monotonic() + seconds
    while not path.exists():
        if time.monotonic() > until:
            raise WineHang(what)
        time.sleep(0.2)


# What a program of the user's reads at each of the two broadcasts of an
# install and of an uninstall, and that the per-user icon size is left as it
# was found: absent (as in every new profile) or the user's own.
@pytest.mark.parametrize("before", [None, "24"])
def test_windows_read_the_icon_size_at_each_broadcast(win32, exe, tmp_path, before):
    if before is None:
        assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") is None
    else:
        win32.reg_add(ICON_SIZE_KEY, "Shell Icon Size", before)
    seen = before or "(none)"
    log, ready = tmp_path / "broadcasts.txt", tmp_path / "ready"
    with win32.running(helper("pivane_broadcast_witness"), win32.windows_path(log),
                       win32.windows_path(ready)):
        wait_for(ready, 120, "the witness window never came up")
        for value in (INSTALLED, FALLBACK):
            assert_boxes(run(win32, exe, "/S"), [])
            assert win32.reg_query(ICON_KEY, "4") == value
            assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == before
    assert log.read_text().split() == ["16", seen, "16", seen]


RECORD_KEY = r"HKCU\Software\Pivane"


def slow_witness(prefix, tmp_path, *extra):
    """A window of the user's that takes 2 s over each broadcast, answering
    every other message meanwhile, and logs the icon size it saw."""
    log, ready = tmp_path / "broadcasts.txt", tmp_path / "ready"
    running = prefix.running(helper("pivane_broadcast_witness"), prefix.windows_path(log),
                             prefix.windows_path(ready), 2000, *extra)
    return running, log, ready


# A run ended from outside while the size is "16" (killed during its first
# broadcast) leaves its record; the next run puts the size back from it.
def test_run_cut_off_during_the_refresh_is_mended_by_the_next(win32, exe, tmp_path):
    win32.reg_add(ICON_SIZE_KEY, "Shell Icon Size", "24")
    running, log, ready = slow_witness(win32, tmp_path, "--end-pivane")
    with running:
        wait_for(ready, 120, "the witness window never came up")
        code, _ = win32.run_pivane(exe, "/S")
        assert code == 1  # ended from outside
        assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == "16"
        assert win32.reg_query(RECORD_KEY, "Shell Icon Size") is not None
        assert win32.reg_query(ICON_KEY, "4") == INSTALLED

        assert_boxes(run(win32, exe, "/S"), [])
    assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == "24"
    assert win32.wine("reg", "query", RECORD_KEY).returncode != 0
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()


# Two runs started a moment apart take turns: the second waits for the first
# and reads the state afresh, so two toggles end where they began.
def test_two_runs_at_once_take_turns(win32, exe, tmp_path):
    win32.reg_add(ICON_SIZE_KEY, "Shell Icon Size", "24")
    running, log, ready = slow_witness(win32, tmp_path)
    with running:
        wait_for(ready, 120, "the witness window never came up")
        first = win32.start(exe, "/S")
        time.sleep(0.5)
        second = win32.start(exe, "/S")
        try:
            codes = [first.wait(timeout=240), second.wait(timeout=240)]
        except Exception as hang:
            raise WineHang("two runs did not end") from hang
        finally:
            for process in (first, second):
                if process.poll() is None:
                    process.kill()
                process.trace.close()
    assert codes == [0, 0]
    assert log.read_text().split() == ["16", "24"] * 2
    assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == "24"
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()


# An install cut off while it wrote the library left its first bytes: the
# next install takes that file away and writes the library anew.
def test_install_over_a_library_cut_off(win32, exe):
    (win32.system32 / "pivane.dll").write_bytes(LIBRARY.read_bytes()[:1000])
    assert_boxes(run(win32, exe, "/S"), [])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert (win32.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()


# /I and /U as a script uses them: each a no-op where there is nothing to
# do, and the exit code the outcome.
def test_install_only_and_uninstall_only_tell_the_outcome(win32, exe):
    library = win32.system32 / "pivane.dll"

    def silent(*switches):
        code, boxes = win32.run_pivane(exe, "/S", *switches)
        assert boxes == []
        return code

    assert [silent("/I"), silent("/i")] == [0, 0]
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert library.read_bytes() == LIBRARY.read_bytes()
    assert [silent("/U"), silent("/u")] == [0, 0]
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not library.exists()

    library.write_bytes(b"f" * 100)
    assert silent("/I") == 1
    assert library.read_bytes() == b"f" * 100
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK

    # The value names the library, but a cleaner deleted the file.
    library.unlink()
    win32.reg_add(ICON_KEY, "4", INSTALLED)
    assert silent("/I") == 0
    assert library.read_bytes() == LIBRARY.read_bytes()
    code, boxes = win32.run_pivane(exe, "/I", answers=["Return"])
    assert code == 0
    assert_boxes(boxes, [("L'option est déjà installée. Rien n'a été modifié.", INFORMATION, IDOK)])

    assert silent("/I", "/U") == 87
    code, boxes = win32.run_pivane(exe, "/U", answers=["n"])
    assert (code, boxes[0].answer) == (2, IDNO)
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED


# The longest command line Windows passes on (32 KB: 16,000 arguments
# before the switch) is read whole, in memory that grows with it.
def test_longest_command_line_still_toggles(win32, exe):
    assert_boxes(run(win32, exe, *["a"] * 16000, "/S"), [])
    assert win32.reg_query(ICON_KEY, "4") == INSTALLED
    assert (win32.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()


def test_hung_window_does_not_hold_a_silent_toggle(win32, exe, tmp_path):
    start = time.monotonic()
    assert_boxes(run(win32, exe, "/S"), [])
    unhindered = time.monotonic() - start

    ready = tmp_path / "hung"
    with win32.running(helper("pivane_hung_window"), win32.windows_path(ready)):
        wait_for(ready, 120, "the hung window never came up")
        start = time.monotonic()
        assert_boxes(run(win32, exe, "/S"), [])
        hindered = time.monotonic() - start
    # Each broadcast waits at most 3 s for each hung window in turn (Wine
    # gives the hung thread two: its own and its input method's).
    assert hindered - unhindered < 2 * 2 * 3 + 10
    assert win32.reg_query(ICON_KEY, "4") == FALLBACK
    assert not (win32.system32 / "pivane.dll").exists()


# Three programs whose windows each take 1.5 s over every settings change,
# each on a thread of its own: the toggle keeps to its budget of 4 s a round
# (a broadcast waits for each busy window in turn), and each window reads
# "16" at the first notice and the user's size at the last.
def test_busy_windows_read_the_user_size_last_within_the_budget(win32, exe, tmp_path):
    win32.reg_add(ICON_SIZE_KEY, "Shell Icon Size", "24")
    log, ready = tmp_path / "busy.txt", tmp_path / "ready"
    # Two windows of 3 s: a broadcast held the size at "16" for 6 s, a
    # round now 4 s, the second window's wait cut to the second left.
    with win32.running(helper("pivane_busy_windows"), win32.windows_path(log),
                       win32.windows_path(ready), 2, 3000):
        wait_for(ready, 300, "the busy windows never came up")
        start = time.monotonic()
        assert_boxes(run(win32, exe, "/S"), [])
        took = time.monotonic() - start
    reads, sixteen, since = {}, 0, None
    for who, tick, size in (line.split() for line in log.read_text().splitlines()):
        if who != "R":
            reads.setdefault(who, []).append(size)
        elif size == "16" and since is None:
            since = int(tick)
        elif size != "16" and since is not None:
            sixteen, since = sixteen + int(tick) - since, None
    assert reads == {"W0": ["16", "24"], "W1": ["16", "24"]}
    # The first round within its 4 s, and two rounds with Wine's own start.
    assert since is None and 0 < sixteen < 5000, sixteen
    assert took < 2 * 4 + 10
    assert win32.reg_query(ICON_SIZE_KEY, "Shell Icon Size") == "24"


# On 64-bit Windows the shell reads the 64-bit registry and the real system
# directory; a 32-bit program must write there, not to its redirected views.
def test_64_bit_windows_sees_install_and_uninstall(win64, exe):
    assert_boxes(run(win64, exe, answers=["Return", "Return"]),
                 [(INSTALL_PROMPT, QUESTION, IDYES), (INSTALLED_BOX, INFORMATION, IDOK)])
    assert win64.reg_query(ICON_KEY, "4", view64=True) == INSTALLED
    assert win64.reg_query(ICON_KEY, "4") is None  # nothing in the 32-bit view
    assert (win64.system32 / "pivane.dll").read_bytes() == LIBRARY.read_bytes()
    assert not (win64.syswow64 / "pivane.dll").exists()

    assert_boxes(run(win64, exe, "/S"), [])
    assert win64.reg_query(ICON_KEY, "4", view64=True) == FALLBACK
    assert not (win64.system32 / "pivane.dll").exists()
    assert not (win64.syswow64 / "pivane.dll").exists()

