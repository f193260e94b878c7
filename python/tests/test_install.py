import os
import subprocess
import sys
from pathlib import Path

import pytest


def test_pip_installs_the_package_with_no_index(tmp_path):
    pytest.importorskip("pip")
    source = Path(__file__).resolve().parents[1]
    subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-index",
                    "--no-cache-dir", "--disable-pip-version-check", "--target", str(tmp_path),
                    str(source)], check=True)
    installed = subprocess.run(
        [sys.executable, "-c", "import zelvan_tts; print(zelvan_tts.__file__, len(zelvan_tts.voices()))"],
        env={**os.environ, "PYTHONPATH": str(tmp_path)}, capture_output=True, text=True, check=True)
    assert installed.stdout.split() == [str(tmp_path / "zelvan_tts" / "__init__.py"), "60"]
