"""scripts/install-deps.sh against a package mirror in the middle of a sync,
played by stand-ins for apt-get and dpkg on PATH: nothing is installed and
nothing of the machine is changed."""
import os
import subprocess
from pathlib import Path

import pytest

from conftest import ROOT

# Each stand-in logs its arguments. The mirror's index for one architecture
# does not match its release file, so every update fails, and one
# architecture's packages cannot be resolved unless the release's own suite
# is the target release.
STAND_INS = {
    "apt-get": """#!/bin/sh
echo "apt-get $*" >>"$LOG"
case "$1 $MIRROR" in
  "update "*) echo "E: File has unexpected size. Mirror sync in progress?" >&2; exit 100 ;;
  "install broken") exit 100 ;;
esac
case " $* " in *" -t "*) exit 0 ;; esac
echo "E: Unable to correct problems, you have held broken packages." >&2
exit 100
""",
    "dpkg-query": "#!/bin/sh\nexit 1\n",
    "dpkg": "#!/bin/sh\necho i386\n",
    "id": "#!/bin/sh\necho 0\n",
    "sleep": "#!/bin/sh\necho \"sleep $*\" >>\"$LOG\"\n",
    # The locales the tests need are there: none is generated.
    "locale": "#!/bin/sh\nprintf 'fr_FR.utf8\\nru_RU.utf8\\nhi_IN.utf8\\n'\n",
}


def release_codename():
    for line in Path("/etc/os-release").read_text().splitlines():
        if line.startswith("VERSION_CODENAME="):
            return line.split("=", 1)[1].strip('"')
    pytest.skip("this system names no release codename")


@pytest.mark.parametrize("mirror", ["syncing", "broken"])
def test_set_up_survives_a_mirror_mid_sync(tmp_path, mirror):
    codename = release_codename()
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for name, text in STAND_INS.items():
        (bin_dir / name).write_text(text)
        (bin_dir / name).chmod(0o755)
    log = tmp_path / "log"
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", LOG=str(log), MIRROR=mirror)
    env.pop("PIVANE_APT_UPDATED", None)
    result = subprocess.run(["bash", str(ROOT / "scripts" / "install-deps.sh")], env=env,
                            capture_output=True, text=True, timeout=120,
                            stdin=subprocess.DEVNULL)
    calls = [line.split()[:3] for line in log.read_text().splitlines()]
    assert calls[:5] == [["apt-get", "update", "-q"], ["sleep", "10"],
                         ["apt-get", "update", "-q"], ["sleep", "20"],
                         ["apt-get", "update", "-q"]]
    installs = [line for line in log.read_text().splitlines() if line.startswith("apt-get install")]
    assert len(installs) == 2
    assert " -t " not in installs[0] and f" -t {codename} " in installs[1]
    if mirror == "syncing":
        assert result.returncode == 0, result.stderr
    else:
        assert result.returncode != 0
        assert "could not install" in result.stderr
