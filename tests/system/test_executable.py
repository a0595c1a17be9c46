"""pivane.exe and its icon library as readers that no one here wrote see
them: pefile for the executable, icoutils for the icons."""
import re
import subprocess
from pathlib import Path

import pefile
import pytest

from conftest import EXE, LIBRARY, ROOT

EXPORTS = Path(__file__).parent / "exports"

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

SCRAMBLED_TEXTS = [
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Icons",
    "Control Panel\\Desktop\\WindowMetrics",
    "Shell Icon Size",
    "shell32.dll,4",
    "pivane.dll",
    "pivact.dll",
    "\u00c0 bient\u00f4t avec Pivane.",
]


@pytest.fixture(scope="module")
def pe(exe):
    return pefile.PE(str(exe))


def test_is_a_32_bit_gui_program(pe, exe):
    assert pe.FILE_HEADER.Machine == 0x14C
    assert pe.OPTIONAL_HEADER.Magic == 0x10B
    assert pe.OPTIONAL_HEADER.Subsystem == 2  # Windows GUI
    assert pe.FILE_HEADER.TimeDateStamp == 0
    # What the loaders of Windows 95 and NT 4.0 accept.
    header = pe.OPTIONAL_HEADER
    assert (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion) == (4, 0)
    assert (header.MajorSubsystemVersion, header.MinorSubsystemVersion) == (4, 0)
    assert exe.stat().st_size <= 32768


def test_needs_no_dll_beyond_the_systems(pe):
    # No C runtime: the first Windows 95 releases have none.
    dlls = {entry.dll.decode().upper() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    assert dlls == {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL"}
    imported = {imp.name.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT for imp in entry.imports}
    # Looked up at run time, so the program still starts where they are missing.
    assert not imported & {"IsWow64Process", "IsWow64Process2", "Wow64DisableWow64FsRedirection",
                           "Wow64RevertWow64FsRedirection", "OpenProcessToken",
                           "GetTokenInformation", "GetModuleFileNameW", "GetDriveTypeW",
                           "GetSystemDirectoryW", "CreateFileW", "GetFinalPathNameByHandleW",
                           "SetDefaultDllDirectories", "SetDllDirectoryW", "CoInitializeEx",
                           "ShellExecuteExW", "SHChangeNotify", "WNetGetUniversalNameW"}


def export_names(name):
    lines = (EXPORTS / name).read_text().splitlines()
    return {word for line in lines if not line.startswith("#") for word in line.split()}


def test_every_import_is_exported_by_windows_95_and_nt_4(pe):
    # A name the loader cannot find stops the program before its first line.
    nine_x_only = export_names("kernel32-not-on-nt.txt")
    allowed = {
        "KERNEL32.DLL": export_names("win95-kernel32.txt") - nine_x_only,
        "USER32.DLL": export_names("user32.txt"),
        "ADVAPI32.DLL": export_names("advapi32.txt"),
    }
    lines = (EXPORTS / "later-exports.txt").read_text().splitlines()
    lacking = {line.split()[0]: " ".join(line.split()[1:])
               for line in lines if line.strip() and not line.startswith("#")}
    faults = []
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().upper()
        for imported in entry.imports:
            name = imported.name.decode() if imported.name else f"ordinal {imported.ordinal}"
            if dll not in allowed:
                faults.append(f"{dll} {name}: not a system DLL of every Windows 95")
            elif name not in allowed[dll]:
                systems = "NT4 2000 XP" if name in nine_x_only else lacking.get(name, "95 at least")
                faults.append(f"{dll} {name}: breaks {systems}")
    assert not faults, "\n".join(faults)


# The integer instructions of the 386, as objdump names them in Intel syntax.
# Nothing of the x87 (a 386 or a 486SX may have no coprocessor), of the 486
# (bswap, cmpxchg, xadd, invlpg), the Pentium (cpuid, rdtsc, cmpxchg8b), the
# Pentium Pro (cmov, the multi-byte nop, ud2), MMX, SSE or CET is among them.
I386 = set("""
aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cwde clc cld cli clts
cmc cmp cmps cmpsb cmpsw cmpsd cwd cdq daa das dec div enter hlt idiv imul in inc ins insb insw
insd int int3 into iret iretd lahf lar lea leave lgdt lidt lds les lfs lgs lss lldt lmsw lods
lodsb lodsw lodsd loop loope loopne loopz loopnz lsl ltr mov movs movsb movsw movsd movsx movzx
mul neg nop not or out outs outsb outsw outsd pop popa popad popf popfd push pusha pushad pushf
pushfd rcl rcr rol ror ret retf sahf sal sar shl shr sbb scas scasb scasw scasd sgdt sidt shld
shrd sldt smsw stc std sti stos stosb stosw stosd str sub test verr verw xchg xlat xor
jmp ja jae jb jbe jc je jg jge jl jle jna jnae jnb jnbe jnc jne jng jnge jnl jnle jno jnp jns
jnz jo jp jpe jpo js jz jcxz jecxz
seta setae setb setbe setc sete setg setge setl setle setna setnae setnb setnbe setnc setne
setng setnge setnl setnle setno setnp setns setnz seto setp setpe setpo sets setz
""".split())
PREFIXES = {"rep", "repe", "repz", "repne", "repnz", "lock", "cs", "ds", "es", "fs", "gs", "ss",
            "data16", "addr16"}


def instructions_beyond_the_386(path):
    objdump = "i686-w64-mingw32-objdump"
    listing = subprocess.run([objdump, "-d", "-M", "intel", "--no-show-raw-insn", str(path)],
                             check=True, capture_output=True, text=True).stdout
    found = []
    for line in listing.splitlines():
        match = re.match(r"^\s*([0-9a-f]+):\t(\S+)\s*(.*)$", line)
        if not match:
            continue
        address, words = match.group(1), [match.group(2)] + match.group(3).split()
        while len(words) > 1 and words[0] in PREFIXES:
            words.pop(0)
        mnemonic, operands = words[0], " ".join(words[1:])
        # The linker's lists of constructors lie at the end of the code as
        # data; bytes that decode as nothing are no instruction.
        if mnemonic == "(bad)":
            continue
        beyond = mnemonic not in I386
        # 0F 1F, the multi-byte nop, prints as nop with an operand; MMX and
        # SSE registers and the x87 stack may stand behind a known name.
        beyond |= mnemonic == "nop" and operands != ""
        beyond |= re.search(r"\b(x?mm[0-7]|st\(?[0-7]?\)?)\b", operands) is not None
        if beyond:
            found.append(f"{address}: {mnemonic} {operands}".rstrip())
    return listing, found


# A 386, 486 or Pentium refuses anything newer, and the program ends before
# its first box: Windows 95 and 98 with their illegal-operation box, NT with
# 0xC000001D. Wine runs on today's processors and cannot show it.
def test_every_instruction_is_one_the_386_knows(exe):
    listing, found = instructions_beyond_the_386(exe)
    assert "\tcall " in listing  # objdump did read the code
    assert not found, "beyond the 386:\n" + "\n".join(found)


# The manifest's identity alone, at the version block's version: anything
# more (trustInfo, a dependency, compatibility, settings) would change how
# Windows runs the program.
MANIFEST = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            b'<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\n'
            b'<assemblyIdentity type="win32" name="Pivane" version="2.1.0.0"'
            b' processorArchitecture="x86"/>\n</assembly>\n')


def test_resources_are_the_version_block_one_icon_and_the_manifest(pe):
    types = {entry.id: entry for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries}
    assert set(types) == {RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST}
    [manifest] = types[RT_MANIFEST].directory.entries
    assert manifest.id == 1
    [data] = manifest.directory.entries
    assert pe.get_data(data.data.struct.OffsetToData, data.data.struct.Size) == MANIFEST
    fixed = pe.VS_FIXEDFILEINFO[0]
    version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
               fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    assert b'version="%d.%d.%d.%d"' % version in MANIFEST
    groups = types[RT_GROUP_ICON].directory.entries
    assert [str(group.name) for group in groups] == ["MAINICON"]
    group = groups[0].directory.entries[0]
    data = pe.get_data(group.data.struct.OffsetToData, group.data.struct.Size)
    _, kind, count = (int.from_bytes(data[i:i + 2], "little") for i in (0, 2, 4))
    assert (kind, count) == (1, 1)
    width, height, colours = data[6], data[7], data[8]
    bits = int.from_bytes(data[12:14], "little")
    assert (width, height, colours, bits) == (32, 32, 16, 4)
    assert len(types[RT_ICON].directory.entries) == 1


def test_version_block(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    assert fixed.FileOS == 0x4  # VOS__WINDOWS32: either family, not NT alone
    assert (fixed.FileVersionMS, fixed.FileVersionLS) == (0x00020001, 0)
    assert (fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x00020001, 0)
    version = pe.DIRECTORY_ENTRY_RESOURCE.entries
    languages = [lang.id for entry in version if entry.id == RT_VERSION
                 for name in entry.directory.entries for lang in name.directory.entries]
    assert languages == [0x040C]
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            assert table.LangID == b"040C04E4"
            strings.update({k.decode(): v.decode("utf-8") for k, v in table.entries.items()})
        for var in getattr(info, "Var", []):
            translations.append(var.entry)
    assert strings == {
        "FileVersion": "2.1.0.0",
        "ProductVersion": "2.1.s",
        "FileDescription": "Ic\u00f4ne active pour Explorateur",
        "InternalName": "Pivane",
        "OriginalFilename": "Pivane.exe",
        "ProductName": "Pivane",
    }
    assert translations == [{b"Translation": "0x040c 0x04e4"}]


def test_holds_none_of_the_scrambled_texts(exe):
    data = exe.read_bytes()
    for text in SCRAMBLED_TEXTS:
        encoded = text.encode("cp1252")
        assert encoded not in data, text
        assert encoded.lower() not in data.lower(), text
        assert text.encode("utf-16-le") not in data, text


def test_embeds_the_icon_library_as_plain_data(exe):
    library = LIBRARY.read_bytes()
    assert len(library) == 5120
    assert library.startswith(b"MZ")
    assert library in exe.read_bytes()


def test_icon_library_holds_one_group_of_two_16_colour_icons(tmp_path):
    library = pefile.PE(str(LIBRARY))
    assert library.FILE_HEADER.Machine == 0x14C
    assert library.FILE_HEADER.Characteristics & 0x2000  # a DLL
    listing = subprocess.run(["wrestool", "-l", str(LIBRARY)], check=True, capture_output=True,
                             text=True).stdout
    groups = re.findall(r"--type=14 --name='([^']*)'", listing)
    assert groups == ["ICON_1"]
    assert len(re.findall(r"--type=3 ", listing)) == 2
    ico = tmp_path / "library.ico"
    subprocess.run(["wrestool", "-x", "-t", "14", "-o", str(ico), str(LIBRARY)], check=True)
    images = subprocess.run(["icotool", "-l", str(ico)], check=True, capture_output=True,
                            text=True).stdout
    sizes = sorted(re.findall(r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", images))
    assert sizes == [("16", "16", "4"), ("32", "32", "4")]


def test_library_icon_is_not_the_application_icon(exe, tmp_path):
    def pixels(source, name):
        ico = tmp_path / f"{name}.ico"
        subprocess.run(["wrestool", "-x", "-t", "14", "-o", str(ico), str(source)], check=True)
        out = tmp_path / name
        out.mkdir()
        subprocess.run(["icotool", "-x", "-w", "32", "-o", str(out), str(ico)], check=True)
        return next(out.iterdir()).read_bytes()

    assert pixels(exe, "main") != pixels(LIBRARY, "library")


def test_two_clean_builds_give_the_same_bytes(exe, tmp_path):
    build = tmp_path / "again"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release",
                    f"-DCMAKE_TOOLCHAIN_FILE={ROOT / 'cmake' / 'mingw-i686.cmake'}"],
                   check=True, capture_output=True)
    subprocess.run(["cmake", "--build", str(build), "--target", "pivane"], check=True,
                   capture_output=True)
    assert (build / "pivane.exe").read_bytes() == exe.read_bytes()
