"""Developing files end to end: writers that keep every bit and never leave a
partial image, the pyxa command's exit codes and skips, batches on a process
pool and on a Dask cluster giving the bytes of a single run, the profile
outputs and the sample capture."""

import json
import os
import subprocess
import sys

import numpy as np
import pytest

pytest.importorskip("rawpy")
tifffile = pytest.importorskip("tifffile")
png = pytest.importorskip("png")
pyxa = pytest.importorskip("pyxa")
from pyxa.cli import main  # noqa: E402
from sample_dng import write_dng  # noqa: E402


def read_png(path):
    width, height, rows, info = png.Reader(filename=str(path)).asDirect()
    dtype = np.uint16 if info["bitdepth"] == 16 else np.uint8
    return np.vstack([np.asarray(r, dtype) for r in rows]).reshape(height, width, info["planes"])


def read_image(path):
    return read_png(path) if str(path).endswith(".png") else tifffile.imread(path)


@pytest.fixture
def raw_dir(tmp_path):
    """Four small DNGs of different content and orientation."""
    folder = tmp_path / "raw"
    folder.mkdir()
    rng = np.random.default_rng(7)
    for i, orientation in enumerate((1, 6, 3, 8)):
        mosaic = rng.integers(300, 3900, size=(24, 34), dtype=np.uint16)
        write_dng(folder / f"img{i}.dng", mosaic, black=256, white=4095, as_shot_neutral=(0.5, 1.0, 0.7),
                  orientation=orientation)
    return folder


@pytest.mark.parametrize("suffix", [".png", ".tif"])
@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
def test_written_image_reads_back_with_every_bit(tmp_path, suffix, dtype):
    """16-bit must stay 16-bit: several common PNG writers store 8 bits."""
    rgb = np.random.default_rng(1).integers(0, np.iinfo(dtype).max, size=(5, 7, 3), dtype=dtype, endpoint=True)
    path = pyxa.write_image(tmp_path / ("x" + suffix), rgb)
    back = read_image(path)
    assert back.dtype == dtype and np.array_equal(back, rgb)
    assert os.listdir(tmp_path) == ["x" + suffix]


def test_existing_output_is_kept_unless_overwrite(tmp_path):
    path = tmp_path / "x.png"
    path.write_bytes(b"keep me")
    with pytest.raises(FileExistsError, match="exists"):
        pyxa.write_image(path, np.zeros((2, 2, 3), np.uint8))
    assert path.read_bytes() == b"keep me"
    pyxa.write_image(path, np.zeros((2, 2, 3), np.uint8), overwrite=True)
    assert read_png(path).shape == (2, 2, 3)


@pytest.mark.parametrize("fmt", ["png", "tiff"])
def test_a_failed_write_leaves_no_file(tmp_path, monkeypatch, fmt):
    import pyxa.writers

    def write_half_then_fail(path, rgb):
        with open(path, "wb") as f:
            f.write(b"\x89PNG half an image")
        raise KeyboardInterrupt

    monkeypatch.setattr(pyxa.writers, "_store", write_half_then_fail)
    with pytest.raises(KeyboardInterrupt):
        pyxa.write_image(tmp_path / "x.out", np.zeros((2, 2, 3), np.uint8), format=fmt)
    assert os.listdir(tmp_path) == []


def test_a_killed_write_leaves_no_file_under_the_final_name(tmp_path):
    """A process killed in the middle of encoding (no clean-up runs at all)."""
    code = (
        "import os, signal, numpy as np, pyxa.writers as w\n"
        "def die(path, rgb):\n"
        "    open(path, 'wb').write(b'half')\n"
        "    os.kill(os.getpid(), signal.SIGKILL)\n"
        "w._store = die\n"
        f"w.write_image({str(tmp_path / 'x.png')!r}, np.zeros((4, 4, 3), np.uint8))\n"
    )
    proc = subprocess.run([sys.executable, "-c", code], env=dict(os.environ), capture_output=True)
    assert proc.returncode == -9, proc.stderr.decode()
    assert not (tmp_path / "x.png").exists()


def test_cli_develops_skips_and_reports_failures(tmp_path, raw_dir, capsys):
    whole = (raw_dir / "img0.dng").read_bytes()
    (raw_dir / "broken.dng").write_bytes(whole[: len(whole) // 2])
    (raw_dir / "notes.txt").write_text("not a raw file: a folder's are not picked, one named fails\n" * 99)
    out = tmp_path / "out"
    assert main(["develop", str(raw_dir), str(raw_dir / "notes.txt"), "-o", str(out), "--quiet"]) == 1
    std = capsys.readouterr()
    assert std.out.splitlines()[-1] == "4 done, 0 skipped, 2 failed"
    assert f"broken.dng: failed: {raw_dir / 'broken.dng'}: the pixel data is cut off" in std.err
    # The user named it: a file that is no raw file failed, it is not passed over.
    assert f"notes.txt: failed: {raw_dir / 'notes.txt'}: not a raw file this reader knows" in std.err
    assert sorted(os.listdir(out)) == ["img0.png", "img1.png", "img2.png", "img3.png"]
    assert read_png(out / "img1.png").shape == (34, 24, 3)  # orientation 6 turned the pixels
    before = (out / "img0.png").stat().st_mtime_ns

    assert main(["develop", str(raw_dir / "img0.dng"), str(raw_dir / "img1.dng"), "-o", str(out), "--quiet"]) == 0
    assert capsys.readouterr().out.splitlines()[-1] == "0 done, 2 skipped, 0 failed"
    assert (out / "img0.png").stat().st_mtime_ns == before

    assert main(["develop", str(raw_dir / "img0.dng"), "-o", str(out), "--overwrite", "--bits", "16",
                 "--format", "tiff", "--wb", "2,1,1.5", "--exposure", "0.5", "--quiet"]) == 0
    assert tifffile.imread(out / "img0.tif").dtype == np.uint16


@pytest.mark.parametrize("argv, code, message", [
    (["develop", "missing.dng", "-o", "OUT", "--quiet"], 1, "missing.dng: no such file"),
    (["develop", "EMPTY", "-o", "OUT"], 1, "no raw files found in EMPTY"),
    (["develop", "x.dng", "-o", "FILE"], 1, "cannot use FILE as the output folder"),
    (["develop", "x.dng", "-o", "OUT", "--wb", "2,1"], 2, "expected camera, daylight or three positive gains"),
    (["develop", "x.dng", "-o", "OUT", "--jobs", "2", "--dask", "tcp://127.0.0.1:1"], 2, "cannot be combined"),
    (["info", "missing.dng"], 1, "error: missing.dng: no such file"),
])
def test_cli_refusals(tmp_path, monkeypatch, capsys, argv, code, message):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "EMPTY").mkdir()
    (tmp_path / "FILE").write_text("a file where the output folder should be")
    try:
        got = main(argv)
    except SystemExit as e:  # argparse's usage errors
        got = e.code
    assert got == code
    assert message in capsys.readouterr().err


def test_cli_info_prints_the_record(raw_dir, capsys):
    assert main(["info", str(raw_dir / "img1.dng")]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert "mosaic       34 x 24 uint16, CFA RGGB" in lines and "orientation  6" in lines


def batch_bytes(folder):
    return {name: (folder / name).read_bytes() for name in sorted(os.listdir(folder))}


def test_pool_and_dask_give_the_bytes_of_a_single_run(tmp_path, raw_dir):
    paths = sorted(raw_dir.glob("*.dng"))
    single = pyxa.develop_many(paths, tmp_path / "single")
    assert [r.status for r in single] == ["done"] * 4
    want = batch_bytes(tmp_path / "single")

    pooled = pyxa.develop_many(paths, tmp_path / "pool", jobs=2)
    assert [r.source for r in pooled] == [str(p) for p in paths]
    assert batch_bytes(tmp_path / "pool") == want

    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        on_dask = pyxa.develop_many(paths, tmp_path / "dask", client=client)
    assert [r.status for r in on_dask] == ["done"] * 4
    assert batch_bytes(tmp_path / "dask") == want


def test_profile_chart_and_trace(tmp_path, raw_dir, capsys):
    pytest.importorskip("matplotlib")
    chart = tmp_path / "chart.svg"
    assert main(["develop", str(raw_dir / "img0.dng"), str(raw_dir / "img1.dng"), "-o", str(tmp_path / "out"),
                 "--profile", str(chart), "--quiet", "--look", "linear"]) == 0
    assert chart.read_text().lstrip().startswith("<?xml")
    events = json.loads((tmp_path / "chart.json").read_text())["traceEvents"]
    spans = [(e["tid"], e["name"]) for e in events if e["ph"] == "X"]
    assert spans == [(tid, op) for tid, ops in ((1, ("normalize_raw", "ea_demosaic", "clip_and_transform_color",
                                                      "transform_color")),
                                                (2, ("normalize_raw", "ea_demosaic", "clip_and_transform_color",
                                                     "transform_color", "orientation")))
                     for op in ops]


def test_sample_capture_develops_back_to_the_photograph(tmp_path):
    """The main job's input: a photograph turned into a 12-bit mosaic held on
    its side (orientation 6) must develop back upright and close to it."""
    data = pytest.importorskip("skimage.data")
    from sample_dng import write_sample_dng

    rgb = pyxa.develop(write_sample_dng(tmp_path / "sample.dng"), demosaic="ea_full")
    photo = data.coffee()[: rgb.shape[0], : rgb.shape[1]].astype(np.float64)
    psnr = 10 * np.log10(255.0 ** 2 / np.mean((rgb - photo) ** 2))
    assert rgb.shape == (400, 600, 3) and psnr > 24
