"""The contenders of the whole-file benchmark: pyxa (through its Python API
as its command does, or through the command), rawpy + Pillow, and three raw
converters run only as black-box programs (dcraw, RawTherapee's and
darktable's command lines), each developing a folder of raw files to one
output kind."""

import os
import shutil
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

# Switch pyxa's rows from the Python API to the `pyxa develop` command here,
# once the command has the options the rows need (see pyxa_command).
PYXA_VIA_COMMAND_LINE = False

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

    @property
    def label(self):
        return f"{self.tool}: {self.output}"


def pyxa_command(files, outdir, output):
    """The `pyxa develop` command line for one output kind.

    Adjust here when the command's options settle (--format jpeg, --quality,
    --half); everything else in the benchmark stays as it is."""
    ext, fmt, dtype = OUTPUTS[output]
    args = [sys.executable, "-m", "pyxa", "develop", *map(str, files), "-o", str(outdir), "--format", fmt,
            "--bits", "16" if dtype == "uint16" else "8", "--overwrite", "--quiet"]
    if fmt == "jpeg":
        args += ["--quality", "95"]
    return args


def _pyxa_api(output, pipelined=False, half=False):
    """Develops and writes each file as the command does: pyxa.develop, then
    pyxa.write_image; pipelined: encoding overlaps the next development."""
    ext, fmt, dtype = OUTPUTS[output]

    def develop(path):
        import pyxa
        if half:
            return develop_half(path, dtype)
        return pyxa.develop(path, dtype=dtype)

    def encode(path, outdir, rgb):
        import pyxa
        quality = 95 if fmt == "jpeg" else None
        return pyxa.write_image(outdir / f"{Path(path).stem}.{ext}", rgb, format=fmt, quality=quality,
                                overwrite=True)

    def run(files, outdir):
        if pipelined:
            from pyxa.pipeline import run_pipelined
            for r in run_pipelined(files, develop, lambda path, rgb: encode(path, outdir, rgb)):
                if r.error is not None:
                    raise r.error
            return
        for path in files:
            encode(path, outdir, develop(path))
    return run


def develop_half(path, dtype):
    """The half-size development the command's --half will run: the development
    graph with half_demosaic in place of the demosaic."""
    import numpy as np
    import pyxa
    from pyxa.develop import curve_table

    with pyxa.read_raw(path) as raw:
        gains = np.asarray(raw.wb_camera, dtype=np.float64)
        gains /= gains.min()  # as the development graph scales them: the smallest is 1
        g = pyxa.Graph()
        x = g.input(raw.mosaic)
        repeat = 2 if len(set(raw.black)) > 1 else 1
        levels = list(raw.black) if repeat == 2 else [raw.black[0]]
        x = g.normalize_raw(x, black_repeat_rows=repeat, black_repeat_cols=repeat, black_level=levels,
                            white_level=[float(raw.white)])
        x = g.half_demosaic(x, cfa_pattern=raw.cfa)
        x = g.clip_and_transform_color(x, clip_max=1.0 / gains, matrix=np.asarray(raw.matrix) @ np.diag(gains))
        x = g.transform_color(x, dest_dtype=dtype, output_lut=curve_table("srgb", dtype))
        if raw.orientation != 1:
            x = g.orientation(x, orientation=raw.orientation)
        return g.run()


def _command(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def pyxa_contenders():
    rows = []
    for output in OUTPUTS:
        if PYXA_VIA_COMMAND_LINE:
            run = lambda files, outdir, o=output: _command(pyxa_command(files, outdir, o))  # noqa: E731
            note = "the pyxa command"
        else:
            run = _pyxa_api(output)
            note = "pyxa.develop + pyxa.write_image in this process, one file after another"
        rows.append(Contender("pyxa", output, run, note, OUTPUTS[output][0]))
    rows.append(Contender("pyxa pipelined", "JPEG q95", _pyxa_api("JPEG q95", pipelined=True),
                          "pyxa.pipeline.run_pipelined: the next file develops while one encodes", "jpg"))
    rows.append(Contender("pyxa pipelined", "PNG 16-bit", _pyxa_api("PNG 16-bit", pipelined=True),
                          "as above", "png"))
    rows.append(Contender("pyxa half size", "JPEG q95", _pyxa_api("JPEG q95", half=True),
                          "half_demosaic: one pixel per 2x2 cell, half the width and height", "jpg"))
    return rows


def _rawpy_pillow(output):
    fmt = {"JPEG q95": "JPEG", "PNG 8-bit": "PNG"}[output]
    ext = OUTPUTS[output][0]

    def run(files, outdir):
        import rawpy
        from PIL import Image
        for path in files:
            with rawpy.imread(str(path)) as raw:
                rgb = raw.postprocess(use_camera_wb=True, output_bps=8)
            options = {"quality": 95, "subsampling": 0} if fmt == "JPEG" else {}
            Image.fromarray(rgb).save(outdir / f"{Path(path).stem}.{ext}", fmt, **options)
    return run


def rawpy_contenders():
    try:
        import PIL  # noqa: F401
        import rawpy  # noqa: F401
    except ImportError as e:
        return [], {"rawpy + Pillow": f"not installed ({e.name})"}
    note = "rawpy.postprocess (its default demosaic, camera white balance), Pillow writes"
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
        rows += [Contender("RawTherapee", "JPEG q95", _rawtherapee(["-j95", "-js3"]), note + ", 4:4:4", "jpg"),
                 Contender("RawTherapee", "PNG 8-bit", _rawtherapee(["-n", "-b8"]), note, "png"),
                 Contender("RawTherapee", "PNG 16-bit", _rawtherapee(["-n", "-b16"]), note, "png"),
                 Contender("RawTherapee", "TIFF 16-bit", _rawtherapee(["-t", "-b16"]), note, "tif")]
    else:
        missing["RawTherapee"] = "not installed (Debian package rawtherapee)"
    if shutil.which("darktable-cli"):
        note = "one process for the folder; its default processing"
        conf = "plugins/imageio/format/{}={}"
        rows += [Contender("darktable", output, _darktable(ext, ["--conf", conf.format(key, value)]), note, ext)
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
