"""Benchmark rows of DNG development, built by pyxa.dng's own graph step: the
profile look (two blended 90 x 30 HueSatMaps, a 90 x 30 x 30 LookTable on an
sRGB-encoded value axis, a 257-point tone curve, the output matrix and
curve) against the plain development graph and against NumPy, and the
linear look with four OpcodeList2 GainMaps and an OpcodeList3
WarpRectilinear against the same graph without them; and the per-node
profile of a file with both. Each row also times the part of its work that
OpenCV can do alone on one thread (the two maps' HSV round trips; the warp's
bicubic resampling with its maps given), as a floor: a target below it cannot
be met by any exact implementation of these steps on this machine."""

import numpy as np

import _pyxa
from cases import Case, _cv2
from dng_peers import numpy_profile
from graphs import BLACK, WHITE, develop_graph, gamma_table, make_mosaic, make_rgb
from pyxa.dng.develop_graph import DevelopChoices, dng_graph
from pyxa.dng.opcode_records import Area, GainMap, Opcode, WarpRectilinear
from pyxa.dng.records import CameraProfile, DngRecord, ProfileTable

V13 = 0x01030000


def _table(hue, sat, val, encoding, seed):
    rng = np.random.default_rng(seed)
    data = np.empty((val, hue, sat, 3), np.float32)
    data[..., 0] = rng.uniform(-6, 6, (val, hue, sat))
    data[..., 1] = rng.uniform(0.9, 1.15, (val, hue, sat))
    data[..., 2] = rng.uniform(0.95, 1.05, (val, hue, sat))
    data[:, :, 0] = (0.0, 1.0, 1.0)  # greys stay grey
    return ProfileTable(hue, sat, val, data, encoding)


PROFILE = CameraProfile(
    name="bench", illuminant1=17, illuminant2=21,
    color_matrix1=np.array([[0.8713, -0.2306, -0.0913], [-0.3781, 1.1648, 0.2362], [-0.0517, 0.1644, 0.7089]]),
    color_matrix2=np.array([[0.6461, -0.0907, -0.0882], [-0.43, 1.2184, 0.2378], [-0.0819, 0.1944, 0.5931]]),
    forward_matrix1=np.array([[0.6924, 0.1711, 0.1008], [0.2413, 0.8618, -0.1031], [0.0312, -0.1802, 0.9741]]),
    forward_matrix2=np.array([[0.7176, 0.1282, 0.1185], [0.2811, 0.8106, -0.0917], [0.0412, -0.1513, 0.9352]]),
    hue_sat_map1=_table(90, 30, 1, 0, 1), hue_sat_map2=_table(90, 30, 1, 0, 2),
    look_table=_table(90, 30, 30, 1, 3),
    tone_curve=np.stack([np.linspace(0, 1, 257), np.linspace(0, 1, 257) ** 0.8], axis=1))


def record(mosaic, profile=PROFILE, opcodes=None):
    h, w = mosaic.shape
    return DngRecord(name="bench.dng", stored=mosaic, photometric=32803, bits_per_sample=12, stored_shape=(h, w),
                     cfa_pattern=(0, 1, 1, 2), active_area=(0, 0, h, w), black_level=np.full((1, 1, 1), BLACK),
                     white_level=(WHITE,), as_shot_neutral=np.array([0.5, 1.0, 0.7]), profile=profile,
                     opcode_lists=opcodes or {})


def lens_opcodes(h, w):
    """Four per-site GainMaps (17 x 25 points) and a bicubic WarpRectilinear."""
    rng = np.random.default_rng(4)
    maps = [Opcode(9, V13, 0, 2, GainMap(Area(dy, dx, h, w, 0, 1, 2, 2), 17, 25, 1 / 16, 1 / 24, 0.0, 0.0, 1,
                                          rng.uniform(1.0, 2.0, (17, 25, 1)).astype(np.float32)))
            for dy in (0, 1) for dx in (0, 1)]
    warp = Opcode(1, V13, 0, 3, WarpRectilinear(np.array([[1.0, -0.06, 0.01, 0.0, 0.0005, -0.0005]]), 0.5, 0.5))
    return {2: maps, 3: [warp]}


def runner(graph, mosaic):
    """A call of the graph into an output made once."""
    gd = graph.engine_graph()
    src, dst = graph.inputs[0], graph.outputs[0]
    out = np.empty(dst.shape, dst.dtype)
    return lambda: _pyxa.execute_graph(gd, {src.id: mosaic}, {dst.id: out})


def opencv_floors(h, w):
    """OpenCV's share of each row's work on a float32 RGB image of the same
    size: the HSV round trip of each of the profile's two maps, and the
    bicubic remap of a warp like the lens row's, its maps made beforehand
    (in OpenCV's fixed-point form, its faster path)."""
    cv2 = _cv2()
    rgb = np.clip(make_rgb(h, w), 0, 1)
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    cx, cy = (w - 1) / 2, (h - 1) / 2
    f = 1 + 0.06 * ((x - cx) ** 2 + (y - cy) ** 2) / (cx * cx + cy * cy)
    maps = cv2.convertMaps(cx + (x - cx) * f, cy + (y - cy) * f, cv2.CV_16SC2)
    del x, y, f
    hsv, back = np.empty_like(rgb), np.empty_like(rgb)

    def round_trips():
        for _ in range(2):
            cv2.cvtColor(cv2.cvtColor(rgb, cv2.COLOR_RGB2HSV, dst=hsv), cv2.COLOR_HSV2RGB, dst=back)
    return round_trips, lambda: cv2.remap(rgb, *maps, cv2.INTER_CUBIC, dst=back)


def dng_cases(h, w):
    mosaic = make_mosaic(h, w)
    round_trips, remap = opencv_floors(h, w)
    plain_out = np.empty((h, w, 3), np.uint8)
    plain = develop_graph(h, w, gamma_table())
    profiled = dng_graph(record(mosaic), DevelopChoices(demosaic="bilinear"))
    numpy_out = np.empty((h, w, 3), np.uint8)
    numpy_run = numpy_profile(profiled.plan)
    linear = DevelopChoices(look="linear", demosaic="bilinear")
    with_lens = dng_graph(record(mosaic, opcodes=lens_opcodes(h, w)), linear).graph
    without = dng_graph(record(mosaic), linear).graph
    return [
        Case("dng", "profile graph (HueSatMaps, LookTable, tone curve)", runner(profiled.graph, mosaic),
             {"plain graph": lambda: _pyxa.execute_graph(plain, {0: mosaic}, {4: plain_out}),
              "NumPy": lambda: numpy_run(mosaic, numpy_out),
              "OpenCV's two HSV round trips alone": round_trips}, "plain graph",
             "target: at most 2x the plain development graph and at most 0.1x NumPy", limit=2.0),
        Case("dng", "GainMaps (list 2) + WarpRectilinear (list 3)", runner(with_lens, mosaic),
             {"without the opcodes": runner(without, mosaic),
              "OpenCV's bicubic remap alone (maps given)": remap}, "without the opcodes",
             "target: the opcodes add at most 1.5x the graph's time (2.5x in all)", limit=2.5),
    ]


def dng_profile_lines(h, w):
    """Per-node times of one profiled run of a file with the lens opcodes and the full profile."""
    mosaic = make_mosaic(h, w)
    built = dng_graph(record(mosaic, opcodes=lens_opcodes(h, w)), DevelopChoices(demosaic="ea"))
    # The profiled run writes into an output made (and its pages faulted in)
    # by a first run; else the last node's time holds the zeroing of 72 MB of
    # fresh pages.
    out = built.graph.run(mosaic)
    built.graph.run(mosaic, out=out, profile=True)
    timings = built.graph.last_profile or []
    parts = ", ".join(f"{t['op']} {t['exclusive_ns'] / 1e6:.1f} ms" for t in timings)
    total = sum(t["exclusive_ns"] for t in timings) / 1e6
    return [f"- Per-node times of a DNG with four GainMaps, a warp and the full profile (edge-aware demosaic), "
            f"one profiled run, {total:.0f} ms in all: {parts}."]
