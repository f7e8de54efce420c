"""Batches as a photographer runs them: one output name per file decided
before any work, named non-raw files failing, a terminated run leaving no
partial file, results in input order, and the command line's small promises
(--version, hints for missing extras, sizes and exposure options)."""

import os
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

pytest.importorskip("rawpy")
pytest.importorskip("tifffile")
pyxa = pytest.importorskip("pyxa")
from pyxa.batch import plan_outputs  # noqa: E402
from pyxa.cli import main  # noqa: E402
from sample_dng import write_dng  # noqa: E402


def small_dng(path, seed=0, orientation=1):
    path.parent.mkdir(parents=True, exist_ok=True)
    mosaic = np.random.default_rng(seed).integers(300, 3900, size=(24, 34), dtype=np.uint16)
    write_dng(path, mosaic, black=256, white=4095, as_shot_neutral=(0.5, 1.0, 0.7), orientation=orientation)
    return path


@pytest.mark.parametrize("keep_folders, want", [
    (False, ["out/IMG.png", "out/IMG_1.png", "out/img_2.png", "out/other.png"]),
    (True, ["out/a/IMG.png", "out/b/IMG.png", "out/b/img.png", "out/b/other.png"]),
])
def test_outputs_are_one_name_per_file(tmp_path, keep_folders, want):
    # Same stems in two folders, and a case-only difference in one.
    files = [tmp_path / "a/IMG.dng", tmp_path / "b/IMG.kdc", tmp_path / "b/img.dng", tmp_path / "b/other.dng"]
    tasks = plan_outputs(files + [files[0]], tmp_path / "out", "png", keep_folders=keep_folders)
    got = [os.path.relpath(t.target, tmp_path) for t in tasks]
    if keep_folders:  # img.dng and IMG.kdc share a folder: the suffix rule applies within it
        want = ["out/a/IMG.png", "out/b/IMG.png", "out/b/img_1.png", "out/b/other.png"]
    assert got == want  # the path given twice is one task


@pytest.mark.parametrize("jobs", [1, 2])
def test_colliding_names_are_all_written_and_results_keep_input_order(tmp_path, jobs):
    a = small_dng(tmp_path / "cardA/IMG.dng", seed=1)
    b = small_dng(tmp_path / "cardB/IMG.dng", seed=2, orientation=6)
    out = tmp_path / "out"
    results = pyxa.develop_many([b, a], out, jobs=jobs, overwrite=True)
    assert [r.source for r in results] == [str(b), str(a)]
    assert [os.path.basename(r.output) for r in results] == ["IMG.png", "IMG_1.png"]
    assert [r.status for r in results] == ["done", "done"]
    shapes = {os.path.basename(r.output): r.size for r in results}
    assert shapes == {"IMG.png": (24, 34), "IMG_1.png": (34, 24)}  # width x height: b was turned


def test_a_terminated_run_leaves_no_partial_file(tmp_path):
    # The encode under way when the signal comes is finished (here a slow
    # store of a few bytes), and the run stops as after Ctrl-C.
    small_dng(tmp_path / "x.dng")
    script = textwrap.dedent(f"""
        import sys, time
        import pyxa.writers as w
        from pyxa.cli import main
        def slow_store(path, data, *args, **kwargs):
            with open(path, "wb") as f:
                f.write(b"0123456789")  # the start of some file
                f.flush()
                print("writing", flush=True)
                time.sleep(2)
        w._store = slow_store
        sys.exit(main(["develop", {str(tmp_path / "x.dng")!r}, "-o", {str(tmp_path / "out")!r}, "--quiet"]))
    """)
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    proc = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=env, text=True)
    assert proc.stdout.readline().strip() == "writing"
    proc.send_signal(signal.SIGTERM)
    assert proc.wait(timeout=60) == 130
    assert not [n for n in os.listdir(tmp_path / "out") if n.endswith(".part")]


def test_version_names_the_package_and_engine(capsys):
    with pytest.raises(SystemExit) as done:
        main(["--version"])
    assert done.value.code == 0
    assert capsys.readouterr().out.startswith(f"pyxa {pyxa.__version__} (engine correction library ")


def test_the_program_entry_runs_and_the_import_leaves_the_collector_on():
    # `python -m pyxa` (like the `pyxa` script) enters through the program's
    # own entry; the package pauses the collector while it loads.
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    run = [sys.executable, "-m", "pyxa", "--version"]
    assert subprocess.run(run, env=env, capture_output=True, text=True, timeout=120).stdout.startswith("pyxa ")
    # The opcode records load with a file's first opcode list, not with the
    # command: start-up pays for every record type defined.
    check = [sys.executable, "-c", "import gc, sys, pyxa.cli; print(gc.isenabled(), 'pyxa.dng.opcode_records' in "
             "sys.modules, 'pyxa.dng.opcode_nodes' in sys.modules)"]
    result = subprocess.run(check, env=env, capture_output=True, text=True, timeout=120)
    assert result.stdout.split() == ["True", "False", "False"], result.stderr


def test_no_progress_bar_unless_stderr_is_a_terminal(tmp_path, capsys):
    small_dng(tmp_path / "x.dng")
    assert main(["develop", str(tmp_path / "x.dng"), "-o", str(tmp_path / "out")]) == 0
    out, err = capsys.readouterr()
    assert "1 done" in out and "\r" not in err and "file/s" not in err


def test_dask_without_its_package_says_what_to_install(tmp_path, monkeypatch, capsys):
    small_dng(tmp_path / "x.dng")
    monkeypatch.setitem(sys.modules, "distributed", None)  # import fails as if not installed
    assert main(["develop", str(tmp_path / "x.dng"), "-o", str(tmp_path / "out"), "--dask", "tcp://x:1"]) == 2
    assert "--dask needs the distributed package: pip install 'pyxa[batch]'" in capsys.readouterr().err


@pytest.mark.parametrize("argv, want", [
    (["--half"], (12, 17)),
    (["--max-size", "17"], (12, 17)),
    (["--scale", "2"], (48, 68)),
])
def test_sizes_on_the_command_line(tmp_path, argv, want):
    import imageio.v3 as iio

    small_dng(tmp_path / "x.dng")
    assert main(["develop", str(tmp_path / "x.dng"), "-o", str(tmp_path / "out"), "--quiet", *argv]) == 0
    assert iio.imread(tmp_path / "out" / "x.png").shape[:2] == want


@pytest.mark.parametrize("argv, message", [
    (["--format", "jpeg", "--bits", "16"], "JPEG stores uint8 samples: use --bits 8 or another --format"),
    (["--exposure", "bright"], '--exposure needs a number of stops or "auto"'),
    (["--max-size", "10", "--scale", "0.5"], "not allowed with argument"),
])
def test_option_mistakes_are_usage_errors(tmp_path, argv, message, capsys):
    try:
        code = main(["develop", str(tmp_path / "x.dng"), "-o", str(tmp_path / "out"), *argv])
    except SystemExit as e:
        code = e.code
    assert code == 2 and message in capsys.readouterr().err


def test_auto_exposure_brightens_a_dark_capture(tmp_path):
    mosaic = np.full((24, 34), 356, np.uint16)  # 100 levels above black of 3839: far below white
    path = tmp_path / "dark.dng"
    write_dng(path, mosaic, black=256, white=4095)
    plain = pyxa.develop(path, dtype="float32", look="linear").mean()
    auto = pyxa.develop(path, dtype="float32", look="linear", exposure="auto").mean()
    assert auto > plain * 2


def normalize(mosaic, **attrs):
    g = pyxa.Graph()
    return g.normalize_raw(g.input(mosaic), **attrs)


@pytest.mark.parametrize("call, error, message", [
    (lambda m: pyxa.develop(m), TypeError, "for a mosaic array use pyxa.develop_mosaic"),
    (lambda m: pyxa.develop_mosaic(m.astype(np.uint8)), ValueError, "mosaic must be uint16 or float32, got uint8"),
    (lambda m: pyxa.develop_mosaic(m, black=5000, white=4095), ValueError, "black level 5000 is not below"),
    (lambda m: pyxa.develop_mosaic(m, white=float("nan")), ValueError, "white must be a finite level"),
    (lambda m: pyxa.develop_mosaic(m, matrix=np.full((3, 3), np.nan)), ValueError, "matrix must hold finite"),
    (lambda m: normalize(m, black_level=[5000], white_level=[4095]), pyxa.GraphError,
     '"black_level" 5000 is not below "white_level" 4095'),
])
def test_mosaic_mistakes_are_refused_with_what_to_fix(call, error, message):
    with pytest.raises(error, match=message):
        call(np.full((8, 8), 100, np.uint16))


def test_cfa_order_takes_any_letter_case():
    mosaic = np.random.default_rng(3).integers(300, 3900, (8, 8)).astype(np.uint16)
    assert np.array_equal(pyxa.develop_mosaic(mosaic, "rggb", black=256, white=4095),
                          pyxa.develop_mosaic(mosaic, "RGGB", black=256, white=4095))
