"""The build backend of the zelvan_tts package (PEP 517 and 660).

The package is pure Python, so its wheel is a zip of the sources and three
metadata files. Building it here asks for nothing at build time: pip's
isolated build environment then needs no index, and `pip install ./python`
works offline, where a setuptools backend would have to be downloaded first.
"""

import base64
import hashlib
import io
import os
import tarfile
import zipfile

NAME = "zelvan_tts"
DIST_NAME = "zelvan-tts"
VERSION = "1.1.0"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

METADATA = f"""Metadata-Version: 2.1
Name: {DIST_NAME}
Version: {VERSION}
Summary: Zelvan TTS text to speech from Python, over the C library libzelvan_tts
License: Proprietary
Requires-Python: >=3.8
Provides-Extra: numpy
Requires-Dist: numpy; extra == "numpy"
"""

WHEEL = """Wheel-Version: 1.0
Generator: zelvan_build
Root-Is-Purelib: true
Tag: py3-none-any
"""

DIST_INFO = f"{NAME}-{VERSION}.dist-info"
TAG = "py3-none-any"


def _sources():
    """(path in the wheel, path on disk) of every module of the package."""
    package = os.path.join(ROOT, NAME)
    for name in sorted(os.listdir(package)):
        if name.endswith(".py"):
            yield f"{NAME}/{name}", os.path.join(package, name)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def _write_wheel(wheel_directory, files):
    """files: (name, bytes) pairs; the dist-info files are added."""
    files = list(files) + [(f"{DIST_INFO}/METADATA", METADATA.encode()),
                           (f"{DIST_INFO}/WHEEL", WHEEL.encode()),
                           (f"{DIST_INFO}/top_level.txt", f"{NAME}\n".encode())]
    record = "".join(_record_line(name, data) for name, data in files)
    record += f"{DIST_INFO}/RECORD,,\n"
    basename = f"{NAME}-{VERSION}-{TAG}.whl"
    with zipfile.ZipFile(os.path.join(wheel_directory, basename), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            wheel.writestr(name, data)
        wheel.writestr(f"{DIST_INFO}/RECORD", record)
    return basename


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = os.path.join(metadata_directory, DIST_INFO)
    os.makedirs(folder, exist_ok=True)
    for name, text in (("METADATA", METADATA), ("WHEEL", WHEEL)):
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(text)
    return DIST_INFO


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, ((name, _read(path)) for name, path in _sources()))


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    # A path file puts the source folder itself on sys.path.
    return _write_wheel(wheel_directory, [(f"{NAME}.pth", (ROOT + "\n").encode())])


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{VERSION}"
    basename = f"{base}.tar.gz"
    members = [("pyproject.toml", os.path.join(ROOT, "pyproject.toml")),
               ("build_support/zelvan_build.py", os.path.abspath(__file__))]
    members += list(_sources())
    with tarfile.open(os.path.join(sdist_directory, basename), "w:gz") as sdist:
        for name, path in members:
            sdist.add(path, f"{base}/{name}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = METADATA.encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return basename
