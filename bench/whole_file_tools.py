"""The contenders of the whole-file benchmark: pyxa (its command line),
rawpy + Pillow, and three raw converters run only as black-box programs
(dcraw, RawTherapee's and darktable's command lines), each developing a
folder of raw files to one output kind."""

import os
import shutil
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

# Output kinds: label -> (file extension, the pyxa writer's format, sample type).
OUTPUTS = {
    "JPEG q95": ("jpg", "jpeg", "uint8"),
    "PNG 8-bit": ("png", "png", "uint8"),
    "PNG 16-bit": ("png", "png", "uint16"),
    "TIFF 16-bit": ("tif", "tiff", "uint16"),
}


@dataclass
class Contender:
    """One tool making one output kind from a folder of raw files."""

    tool: str
    output: str
    run: Callable[[list, Path], None]  # (raw files, output folder) -> None; raises on failure
    note: str
    extension: str  # of the files it writes
    slow: bool = False  # a converter taking many seconds a file (see --converter-files)

    @property
    def label(self):
        return f"{self.tool}: {self.output}"


def pyxa_command(files, outdir, output, *extra):
    """The `pyxa develop` command line for one output kind (the command runs
    one process: the next file develops while the last is encoded)."""
    ext, fmt, dtype = OUTPUTS[output]
    args = [sys.executable, "-m", "pyxa", "develop", *map(str, files), "-o", str(outdir), "--format", fmt,
            "--bits", "16" if dtype == "uint16" else "8", "--overwrite", "--quiet", *extra]
    if fmt == "jpeg":
        args += ["--quality", "95"]
    return args


def _command(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def pyxa_contenders():
    rows = [Contender("pyxa", output, lambda files, outdir, o=output: _command(pyxa_command(files, outdir, o)),
                      "the pyxa command", OUTPUTS[output][0]) for output in OUTPUTS]
    rows.append(Contender("pyxa --half", "JPEG q95",
                          lambda files, outdir: _command(pyxa_command(files, outdir, "JPEG q95", "--half")),
                          "half-size development: one pixel per 2x2 cell", "jpg"))
    return rows


# rawpy + Pillow as a user's script: one Python process per folder, like the
# pyxa command, so both pay the interpreter's start-up once per folder.
RAWPY_PILLOW_SCRIPT = """
import sys
from pathlib import Path
import rawpy
from PIL import Image
fmt, ext, outdir = sys.argv[1], sys.argv[2], Path(sys.argv[3])
for path in sys.argv[4:]:
    with rawpy.imread(path) as raw:
        rgb = raw.postprocess(use_camera_wb=True, output_bps=8)
    options = {"quality": 95, "subsampling": 0} if fmt == "JPEG" else {}
    Image.fromarray(rgb).save(outdir / f"{Path(path).stem}.{ext}", fmt, **options)
"""


def _rawpy_pillow(output):
    fmt = {"JPEG q95": "JPEG", "PNG 8-bit": "PNG"}[output]
    ext = OUTPUTS[output][0]

    def run(files, outdir):
        _command([sys.executable, "-c", RAWPY_PILLOW_SCRIPT, fmt, ext, str(outdir), *map(str, files)])
    return run


def rawpy_contenders():
    try:
        import PIL  # noqa: F401
        import rawpy  # noqa: F401
    except ImportError as e:
        return [], {"rawpy + Pillow": f"not installed ({e.name})"}
    note = "a script: rawpy.postprocess (its default demosaic, camera white balance), Pillow writes"
    return [Contender("rawpy + Pillow", o, _rawpy_pillow(o), note, OUTPUTS[o][0])
            for o in ("JPEG q95", "PNG 8-bit")], {}


def _dcraw(flags, ext):
    def run(files, outdir):
        for path in files:
            with open(outdir / f"{Path(path).stem}.{ext}", "wb") as out:
                subprocess.run(["dcraw", "-w", "-c", *flags, str(path)], check=True, stdout=out,
                               stderr=subprocess.PIPE)
    return run


def _rawtherapee(flags):
    def run(files, outdir):
        _command(["rawtherapee-cli", "-q", "-d", "-o", f"{outdir}/", *flags, "-Y", "-c", *map(str, files)])
    return run


def _darktable(ext, conf):
    def run(files, outdir):
        configdir = outdir.parent / f".darktable-config-{os.getpid()}"
        imports = [arg for path in files for arg in ("--import", str(path))]
        _command(["darktable-cli", *imports, f"{outdir}/$(FILE_NAME)", "--out-ext", ext, "--core",
                  "--configdir", str(configdir), "--conf", "write_sidecar_files=never", *conf])
    return run


def program_contenders():
    """dcraw, RawTherapee and darktable at their nearest outputs; the ones
    missing are named with why."""
    rows, missing = [], {}
    if shutil.which("dcraw"):
        note = "one process per file; camera white balance, its default demosaic"
        rows += [Contender("dcraw", "PPM 8-bit", _dcraw([], "ppm"), note + "; writes no PNG or JPEG", "ppm"),
                 Contender("dcraw", "TIFF 16-bit", _dcraw(["-6", "-T"], "tiff"), note, "tiff")]
    else:
        missing["dcraw"] = "not installed (Debian package dcraw)"
    if shutil.which("rawtherapee-cli"):
        note = "one process for the folder; its default processing profile"
        rows += [Contender("RawTherapee", "JPEG q95", _rawtherapee(["-j95", "-js3"]), note + ", 4:4:4", "jpg", True),
                 Contender("RawTherapee", "PNG 8-bit", _rawtherapee(["-n", "-b8"]), note, "png", True),
                 Contender("RawTherapee", "PNG 16-bit", _rawtherapee(["-n", "-b16"]), note, "png", True),
                 Contender("RawTherapee", "TIFF 16-bit", _rawtherapee(["-t", "-b16"]), note, "tif", True)]
    else:
        missing["RawTherapee"] = "not installed (Debian package rawtherapee)"
    if shutil.which("darktable-cli"):
        note = "one process for the folder; its default processing"
        conf = "plugins/imageio/format/{}={}"
        rows += [Contender("darktable", output, _darktable(ext, ["--conf", conf.format(key, value)]), note, ext, True)
                 for output, ext, key, value in (("JPEG q95", "jpg", "jpeg/quality", 95),
                                                 ("PNG 8-bit", "png", "png/bpp", 8),
                                                 ("PNG 16-bit", "png", "png/bpp", 16),
                                                 ("TIFF 16-bit", "tif", "tiff/bpp", 16))]
    else:
        missing["darktable"] = "not installed (Debian package darktable)"
    return rows, missing


def install_programs():
    """Installs the black-box peers from Debian when we are root and they are
    missing; what cannot be installed is left for its rows to report."""
    wanted = {"dcraw": "dcraw", "rawtherapee-cli": "rawtherapee", "darktable-cli": "darktable"}
    packages = [pkg for exe, pkg in wanted.items() if shutil.which(exe) is None]
    if not packages or os.geteuid() != 0 or shutil.which("apt-get") is None:
        return
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    for args in (["apt-get", "update", "-q"], ["apt-get", "install", "-y", "-q", *packages]):
        if subprocess.run(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            print(f"({' '.join(args[:2])} failed: the rows of {', '.join(packages)} will say so)")
            return
