"""The benchmark cases: each is the engine doing one job and the peers a user
would reach for instead (OpenCV on one thread, NumPy, the Halide pipeline),
all set up outside the timed calls. The engine writes into arrays made once,
and so does every OpenCV call (its `dst`): an array made in the timed call
would add the kernel's zeroing of fresh pages to the peer's time, which for
the 288 MB images of a float RGB round trip was about 40% of it."""

import json
import time

import numpy as np

import _pyxa
from graphs import MATRIX, gamma_table, develop_graph, make_mosaic, make_rgb, one_node, raw_levels
from peers import numpy_develop, opencv_develop
from profile_graph import HalideProfile, ProfileMaps, camera_rgb, check_peer, np_lookup, numpy_profile
from profile_graph import engine_graph as profile_engine_graph
from timing import SelfTimed

F32 = np.float32


class Case:
    """engine: callable; peers: {label: callable}; target: the peer label the
    engine must match or beat, or a tuple of labels meaning the fastest of
    them (None: information only); limit: the ratio to the target that still
    meets it (1: match or beat); group: table section; missing: {label:
    why} for peers that could not run here."""

    def __init__(self, group, name, engine, peers, target=None, note="", limit=1.0):
        self.group, self.name, self.engine, self.peers, self.target, self.note = group, name, engine, peers, target, note
        self.limit = limit
        self.missing = {}


def engine_call(graph, inputs, outputs):
    return lambda: _pyxa.execute_graph(graph, inputs, outputs)


def single(op, src, dst, attrs):
    g = one_node(op, src, dst, attrs)
    return engine_call(g, {} if src is None else {0: src}, {1: dst})


# ---- the development graph ----------------------------------------------------

def develop_cases(h, w, halide):
    lut = gamma_table()
    mosaic = make_mosaic(h, w)
    out = np.ones((h, w, 3), np.uint8)
    peer_out = np.ones((h, w, 3), np.uint8)
    cv2 = _cv2()
    numpy_run, opencv_run, opencv_ea = numpy_develop(lut), opencv_develop(cv2, lut), \
        opencv_develop(cv2, lut, cv2.COLOR_BayerRG2RGB_EA)
    peers = {"NumPy": lambda: numpy_run(mosaic, peer_out), "OpenCV": lambda: opencv_run(mosaic, peer_out)}
    if halide is not None:
        peers["Halide"] = lambda: halide(mosaic, peer_out)
    # The limit holds against the camera-pipe peers once they start (the
    # faster build becomes the target); without them, against the peers here.
    cases = [Case("development", "development graph (bilinear)",
                  engine_call(develop_graph(h, w, lut), {0: mosaic}, {4: out}), peers,
                  "Halide" if halide is not None else "OpenCV",
                  "target: at most 0.8x the faster camera-pipe Halide peer", limit=0.8)]
    for label, fast in (("ea fast", True), ("ea full", False)):
        g = develop_graph(h, w, lut, "ea_demosaic", fast)
        cases.append(Case("development", f"development graph ({label})", engine_call(g, {0: mosaic}, {4: out}),
                          {"OpenCV (its edge-aware Bayer code)": lambda: opencv_ea(mosaic, peer_out)},
                          "OpenCV (its edge-aware Bayer code)"))
    # 16-bit output as `pyxa develop --bits 16` makes it: a 65536-entry table
    # (steps of one level at the curve's steep start), against the 8-bit graph.
    lut16 = gamma_table(65536) + F32(0.5 / 65535)
    out16 = np.ones((h, w, 3), np.uint16)
    out8 = np.ones((h, w, 3), np.uint8)
    plain8 = develop_graph(h, w, lut)
    cases.append(Case("development", "development graph 16-bit (bilinear, 65536-entry curve)",
                      engine_call(develop_graph(h, w, lut16, dest="uint16"), {0: mosaic}, {4: out16}),
                      {"the 8-bit graph": engine_call(plain8, {0: mosaic}, {4: out8})}, "the 8-bit graph",
                      "target: at most 1.5x the 8-bit development graph", limit=1.5))
    return cases, (mosaic, out, lut)


def _cv2():
    import cv2
    cv2.setNumThreads(1)
    return cv2


# ---- pointwise ------------------------------------------------------------------

def pointwise_cases(h, w):
    cv2 = _cv2()
    mosaic = make_mosaic(h, w)
    rgb = make_rgb(h, w)
    rgb8 = (np.clip(rgb, 0, 1) * 255).astype(np.uint8)
    flat8 = rgb8.reshape(h, 3 * w)  # integer tables take one channel: the RGB bytes as one wide plane
    flat8_out, flat8_cv = np.empty_like(flat8), np.empty_like(flat8)
    f1, f1_cv = np.empty((h, w), F32), np.empty((h, w), F32)
    o8 = np.empty((h, w, 3), np.uint8)
    o16 = np.empty((h, w, 3), np.uint16)
    of, of_cv = np.empty((h, w, 3), F32), np.empty((h, w, 3), F32)
    o8_cv = np.empty_like(o8)
    table = gamma_table()
    table256 = gamma_table(256)
    table256_8 = (table256 * 255).astype(np.uint8)
    s16 = F32(1.0 / 65535.0)
    cases = [
        Case("pointwise", "convert_dtype uint16 -> float32 (1 ch)",
             single("convert_dtype", mosaic, f1, {"dest_dtype": "float32", "src_bits": 0, "dst_bits": 0, "clip_max": -1.0}),
             {"OpenCV": lambda: cv2.multiply(mosaic, float(s16), dtype=cv2.CV_32F, dst=f1_cv),
              "NumPy": lambda: np.multiply(mosaic, s16, out=f1, dtype=F32)}, "OpenCV"),
        Case("pointwise", "convert_dtype float32 -> uint8 (3 ch)",
             single("convert_dtype", rgb, o8, {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 8, "clip_max": -1.0}),
             {"OpenCV": lambda: cv2.convertScaleAbs(rgb, alpha=255.0, dst=o8_cv),
              "NumPy": lambda: np.multiply(rgb, F32(255), out=of).astype(np.uint8)}, "OpenCV"),
        Case("pointwise", "matrix_3x3 float32 RGB",
             single("matrix_3x3", rgb, of, {"matrix": MATRIX.ravel()}),
             {"OpenCV": lambda: cv2.transform(rgb, MATRIX, dst=of_cv), "NumPy": lambda: rgb @ MATRIX.T}, "OpenCV"),
        Case("pointwise", "lut uint8 plane (RGB bytes), 256 entries (direct)",
             single("lut", flat8, flat8_out, {"lut": table256}),
             {"OpenCV": lambda: cv2.LUT(flat8, table256_8, dst=flat8_cv),
              "NumPy": lambda: np.take(table256_8, flat8)}, "OpenCV"),
    ]
    full16 = np.interp(np.arange(65536) / 65535.0, np.linspace(0, 1, 4096), table).astype(F32) * F32(65535)
    full16 = full16.astype(np.uint16)
    rgb16 = (np.clip(rgb, 0, 1) * 65535).astype(np.uint16)
    flat16 = rgb16.reshape(h, 3 * w)
    cases.append(Case("pointwise", "lut uint16 plane (RGB values), 4096 entries",
                      single("lut", flat16, np.empty_like(flat16), {"lut": table}),
                      {"NumPy gather": lambda: np.take(full16, flat16)}, None,
                      "the peer gathers from a 65536-entry table made beforehand"))
    cases.append(Case("pointwise", "mono_lut float32 RGB -> uint8, 4096 entries",
                      single("mono_lut", rgb, o8, {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 8,
                                                   "lut": table}),
                      {"NumPy gather + blend": lambda: (np_lookup(table, rgb) * F32(255)).astype(np.uint8)}, None))
    cases.append(Case("pointwise", "mono_lut uint16 RGB -> uint16, 4096 entries",
                      single("mono_lut", rgb16, o16, {"dest_dtype": "uint16", "src_bits": 0, "dst_bits": 0,
                                                      "lut": table}),
                      {"NumPy gather": lambda: np.take(full16, rgb16)}, None,
                      "the peer gathers from a 65536-entry table made beforehand"))
    cases += transform_cases(cv2, rgb, rgb8, o8, table, table256)
    cases += hsv_cases(cv2, rgb, of)
    return cases


def transform_cases(cv2, rgb, rgb8, o8, table, table256):
    """transform_color float32 RGB -> uint8 in each table combination, against
    the same steps in NumPy (gather and blend) and OpenCV (cv2.transform)."""
    in_lut = (np.linspace(0, 1, 1024) ** 0.8).astype(F32)
    mixed, o8_cv = np.empty(rgb.shape, F32), np.empty_like(o8)
    cases = []
    for has_in, has_m, has_out in ((0, 1, 0), (0, 1, 1), (1, 1, 0), (1, 1, 1), (1, 0, 0), (0, 0, 1), (1, 0, 1)):
        attrs = {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 8, "hue_preserving": 0}
        if has_in:
            attrs["input_lut"] = in_lut
        if has_m:
            attrs["matrix"] = MATRIX.ravel()
        if has_out:
            attrs["output_lut"] = table

        def peer(has_in=has_in, has_m=has_m, has_out=has_out):
            y = np_lookup(in_lut, rgb) if has_in else rgb
            if has_m:
                y = cv2.transform(y, MATRIX, dst=mixed)
            if has_out:
                y = np_lookup(table, y)
            return cv2.convertScaleAbs(y, alpha=255.0, dst=o8_cv)
        name = "transform_color " + "+".join(n for n, on in (("in", has_in), ("matrix", has_m), ("out", has_out)) if on)
        cases.append(Case("transform_color", name + " (float32 -> uint8)", single("transform_color", rgb, o8, attrs),
                          {"NumPy+OpenCV": peer}, "NumPy+OpenCV"))
    attrs = {"dest_dtype": "uint8", "src_bits": 0, "dst_bits": 8, "hue_preserving": 0, "input_lut": table256,
             "matrix": MATRIX.ravel(), "output_lut": table}
    t256 = table256

    def peer8():
        y = cv2.transform(np.take(t256, rgb8), MATRIX, dst=mixed)
        return cv2.convertScaleAbs(np_lookup(table, y), alpha=255.0, dst=o8_cv)
    cases.append(Case("transform_color", "transform_color in(256, direct)+matrix+out (uint8 -> uint8)",
                      single("transform_color", rgb8, o8, attrs), {"NumPy+OpenCV": peer8}, "NumPy+OpenCV"))
    return cases


def hsv_cases(cv2, rgb, of):
    """Both hue/saturation maps, direct and through their table, against
    OpenCV's float RGB -> HSV -> RGB round trip (no map applied)."""
    cases = []
    rng = np.random.default_rng(3)
    unit = np.clip(rgb, 0, 1)
    hsv, back = np.empty_like(unit), np.empty_like(unit)

    def round_trip():
        cv2.cvtColor(cv2.cvtColor(unit, cv2.COLOR_RGB2HSV, dst=hsv), cv2.COLOR_HSV2RGB, dst=back)
    for with_value in (False, True):
        vals = 4 if with_value else 1
        n = 90 * 30 * vals
        data = np.stack([rng.uniform(-20, 20, n), rng.uniform(0.8, 1.2, n), rng.uniform(0.9, 1.1, n)], 1)
        for table in (False, True):
            attrs = {"hue_divs": 90, "sat_divs": 30, "map_data": data.astype(F32).ravel(),
                     "engine_opts": json.dumps({"prism_lut" if with_value else "chroma_lut": table})}
            if with_value:
                attrs["val_divs"] = vals
            op = "apply_hue_sat_val_map" if with_value else "apply_hue_sat_map"
            cases.append(Case("hue/sat maps", f"{op} ({'table' if table else 'direct'})",
                              single(op, unit, of, attrs),
                              {"OpenCV HSV round trip": round_trip},
                              "OpenCV HSV round trip"))
    return cases


# ---- the colour profile of a DNG development ------------------------------------------

def profile_cases(h, w):
    """The profile graph (bench/profile_graph.py) with the maps applied
    directly and through their colour tables, against the same steps in
    Halide (when installed) and in NumPy; each peer's image is checked against
    the engine's before any timing. The NumPy peer takes over a minute a call
    at 24 Mpx, so it runs on a band of rows and its time is scaled to the
    image (both rows run the same peer; only the direct one times it)."""
    maps, rgb = ProfileMaps.synthetic(), camera_rgb(h, w)
    out, peer_out = np.empty((h, w, 3), np.uint8), np.empty((h, w, 3), np.uint8)
    numpy_run = numpy_profile(maps)
    band = max(1, h // 8)
    peers = {}
    missing = {}
    try:
        halide = HalideProfile(maps)
        peers["Halide"] = lambda: halide(rgb, peer_out)
    except ImportError as e:
        missing["Halide"] = f"not available ({e})"
    numpy_label = f"NumPy ({band}-row band, time x{h / band:g})"

    def numpy_band():
        t0 = time.perf_counter()
        numpy_run(rgb[:band], peer_out[:band])
        return (time.perf_counter() - t0) * h / band
    cases = []
    for direct in (True, False):
        g = profile_engine_graph(maps, h, w, direct)
        run = engine_call(g, {g["inputs"][0]: rgb}, {g["outputs"][0]: out})
        contenders = dict(peers)
        if direct:
            run()
            check_peer("NumPy", numpy_run(rgb[:band], peer_out[:band]), out[:band])
            if "Halide" in peers:
                check_peer("Halide", halide(rgb, peer_out), out)
            contenders[numpy_label] = SelfTimed(numpy_band)
        case = Case("profile", f"DNG profile graph ({'direct' if direct else 'table'} maps)", run, contenders,
                    "Halide" if "Halide" in peers else numpy_label,
                    "HueSatMap 90x30, LookTable 90x30x512, exposure, hue-preserving tone, output curve")
        case.missing.update(missing)
        cases.append(case)
    return cases


# ---- raw and demosaic -------------------------------------------------------------

def raw_cases(h, w):
    cv2 = _cv2()
    mosaic = make_mosaic(h, w)
    f1, f1_cv = np.empty((h, w), F32), np.empty((h, w), F32)
    scale = 1.0 / (4095.0 - 256.0)

    def cv_normalize():
        f = cv2.subtract(mosaic, 256.0, dtype=cv2.CV_32F, dst=f1_cv)
        cv2.multiply(f, scale, dst=f)
        cv2.threshold(f, 1.0, 1.0, cv2.THRESH_TRUNC, dst=f)
        return cv2.threshold(f, 0.0, 0.0, cv2.THRESH_TOZERO, dst=f)

    def np_normalize():
        x = (mosaic.astype(F32) - F32(256)) * F32(scale)
        return np.clip(x, 0.0, 1.0, out=x)
    cases = [Case("raw", "normalize_raw uint16 -> float32", single("normalize_raw", mosaic, f1, raw_levels()),
                  {"OpenCV": cv_normalize, "NumPy": np_normalize}, "OpenCV")]
    norm = np_normalize()
    of, of_cv = np.empty((h, w, 3), F32), np.empty((h, w, 3), F32)
    rgb16 = np.empty((h, w, 3), np.uint16)
    trio = (1.0 / 65535.0,) * 3
    for label, op, attrs, code in (
            ("bilinear_demosaic", "bilinear_demosaic", {"cfa_pattern": "RGGB"}, cv2.COLOR_BayerRG2RGB),
            ("ea_demosaic fast", "ea_demosaic", {"cfa_pattern": "RGGB", "fast": True}, cv2.COLOR_BayerRG2RGB_EA),
            ("ea_demosaic full", "ea_demosaic", {"cfa_pattern": "RGGB", "fast": False}, cv2.COLOR_BayerRG2RGB_EA)):
        def peer(code=code):
            return cv2.multiply(cv2.cvtColor(mosaic, code, dst=rgb16), trio, dtype=cv2.CV_32F, dst=of_cv)
        cases.append(Case("raw", f"{label} float32 -> float32 RGB", single(op, norm, of, attrs),
                          {"OpenCV (uint16 + to float)": peer}, "OpenCV (uint16 + to float)"))
    return cases


# ---- spatial ------------------------------------------------------------------------

def spatial_cases(h, w):
    cv2 = _cv2()
    big = (np.random.default_rng(4).integers(0, 255, (h + 64, w + 64, 3))).astype(np.uint8)
    src = np.ascontiguousarray(big[32:32 + h, 32:32 + w])
    out = np.empty((h, w, 3), np.uint8)
    cases = [Case("spatial", "view (crop) uint8 RGB",
                  single("view", big, out, {"top": 32, "left": 32, "width": w, "height": h}),
                  {"NumPy copy": lambda: np.copyto(out, big[32:32 + h, 32:32 + w])}, None)]
    padded, padded_cv = np.empty((h + 32, w + 32, 3), np.uint8), np.empty((h + 32, w + 32, 3), np.uint8)
    for mode, border in (("reflect", cv2.BORDER_REFLECT_101), ("symmetric", cv2.BORDER_REFLECT),
                         ("edge", cv2.BORDER_REPLICATE), ("constant", cv2.BORDER_CONSTANT)):
        attrs = {"top": 16, "bottom": 16, "left": 16, "right": 16, "mode": mode}
        if mode == "constant":
            attrs["constant_values"] = np.array([7, 7, 7, 7], F32)
        cases.append(Case("spatial", f"pad {mode} uint8 RGB", single("pad", src, padded, attrs),
                          {"OpenCV": lambda border=border: cv2.copyMakeBorder(src, 16, 16, 16, 16, border, dst=padded_cv,
                                                                              value=(7, 7, 7))}, "OpenCV"))
    out16 = np.empty((h, w, 3), np.uint16)
    convert16 = np.empty((h, w, 3), np.uint16)
    cases.append(Case("spatial", "fill uint16 RGB (1, 2, 3)",
                      single("fill", None, out16, {"value": np.array([1, 2, 3], F32)}),
                      {"NumPy": lambda: out16.__setitem__(Ellipsis, (1, 2, 3)),
                       "pyxa convert_dtype, same output": single(
                           "convert_dtype", src, convert16, {"dest_dtype": "uint16", "src_bits": 0, "dst_bits": 0, "clip_max": -1.0})},
                      "pyxa convert_dtype, same output"))
    cases.append(Case("spatial", "fill uint8 RGB (5)", single("fill", None, out, {"value": np.array([5], F32)}),
                      {"NumPy": lambda: out.fill(5)}, None))
    same, turned_cv, turned_cv2 = np.empty_like(src), np.empty((w, h, 3), np.uint8), np.empty((w, h, 3), np.uint8)
    peers = {2: lambda: cv2.flip(src, 1, dst=same), 3: lambda: cv2.rotate(src, cv2.ROTATE_180, dst=same),
             4: lambda: cv2.flip(src, 0, dst=same), 5: lambda: cv2.transpose(src, dst=turned_cv),
             6: lambda: cv2.rotate(src, cv2.ROTATE_90_CLOCKWISE, dst=turned_cv),
             7: lambda: cv2.flip(cv2.transpose(src, dst=turned_cv), -1, dst=turned_cv2),
             8: lambda: cv2.rotate(src, cv2.ROTATE_90_COUNTERCLOCKWISE, dst=turned_cv)}
    turned = np.empty((w, h, 3), np.uint8)
    for o in range(2, 9):
        dst = turned if o >= 5 else out
        cases.append(Case("orientation", f"orientation {o} uint8 RGB", single("orientation", src, dst,
                                                                             {"orientation": o}),
                          {"OpenCV": peers[o]}, "OpenCV"))
    # A 16-bit export of a portrait frame: six-byte pixels take their own transpose.
    src16 = src.astype(np.uint16) * 257
    turned16, turned16_cv = np.empty((w, h, 3), np.uint16), np.empty((w, h, 3), np.uint16)
    cases.append(Case("orientation", "orientation 6 uint16 RGB", single("orientation", src16, turned16, {"orientation": 6}),
                      {"OpenCV": lambda: cv2.rotate(src16, cv2.ROTATE_90_CLOCKWISE, dst=turned16_cv)}, "OpenCV"))
    return cases


# ---- correction opcodes ------------------------------------------------------------

def opcode_cases(h, w):
    cv2 = _cv2()
    f64 = np.float64
    plane = np.random.default_rng(5).uniform(0.0, 1.0, (h, w)).astype(F32)
    out, out_cv, gain_image = np.empty((h, w), F32), np.empty((h, w), F32), np.empty((h, w), F32)
    yy, xx = np.mgrid[0:h, 0:w].astype(F32)
    cx, cy = F32(w * 0.5), F32(h * 0.5)
    radius = F32(np.sqrt(cx * cx + cy * cy))
    dx, dy = (xx - cx) / radius, (yy - cy) / radius
    s = np.minimum(dx * dx + dy * dy, 1)
    ratio = F32(1.0) + F32(0.02) * s - F32(0.01) * s * s
    map_x = (cx + ratio * (xx - cx)).astype(F32)
    map_y = (cy + ratio * (yy - cy)).astype(F32)
    del yy, xx, dx, dy, s, ratio
    cases = []
    for bicubic, inter in ((0, cv2.INTER_LINEAR), (1, cv2.INTER_CUBIC)):
        attrs = dict(radial_params=np.array([1.0, 0.02, -0.01]), num_planes=1, num_coeffs=3,
                     center_x=f64(0.5), center_y=f64(0.5), use_bicubic=bicubic)
        cases.append(Case("opcodes", f"warp_rectilinear ({'bicubic' if bicubic else 'bilinear'}) float32 plane",
                          single("warp_rectilinear", plane, out, attrs),
                          {"cv2.remap": lambda inter=inter: cv2.remap(plane, map_x, map_y, inter, dst=out_cv)}, "cv2.remap",
                          "the peer's map is made beforehand; the engine computes its own"))
    grid = dict(top=0, left=0, bottom=h, right=w, points_v=9, points_h=13, spacing_v=f64(1 / 8),
                spacing_h=f64(1 / 12), origin_v=f64(0), origin_h=f64(0))
    gains = np.random.default_rng(6).uniform(0.9, 1.1, 9 * 13).astype(F32)

    def resized_gain():
        cv2.resize(gains.reshape(9, 13), (w, h), dst=gain_image, interpolation=cv2.INTER_LINEAR)
        return cv2.multiply(plane, gain_image, dst=out_cv)
    rgb = np.clip(make_rgb(h, w), 0, 1)
    orgb, orgb_cv, gain_rgb = np.empty_like(rgb), np.empty_like(rgb), np.empty_like(rgb)
    gains3 = np.random.default_rng(8).uniform(0.9, 1.1, 9 * 13 * 3).astype(F32)
    cases.append(Case("opcodes", "apply_gain_map float32 RGB",
                      single("apply_gain_map", rgb, orgb, dict(gain_values=gains3, map_planes=3, start_plane=0,
                                                               num_planes=3, row_pitch=1, col_pitch=1, **grid)),
                      {"OpenCV resize + multiply": lambda: cv2.multiply(rgb, cv2.resize(
                          gains3.reshape(9, 13, 3), (w, h), dst=gain_rgb, interpolation=cv2.INTER_LINEAR),
                          dst=orgb_cv)},
                      "OpenCV resize + multiply"))
    cases.append(Case("opcodes", "apply_gain_map_cfa float32 plane",
                      single("apply_gain_map_cfa", plane, out, dict(gain_values=gains, map_planes=1, row_pitch=2,
                                                                    col_pitch=2, **grid)),
                      {"OpenCV resize + multiply": resized_gain}, "OpenCV resize + multiply"))
    cases.append(Case("opcodes", "apply_flat_gain_map float32 plane",
                      single("apply_flat_gain_map", plane, out, dict(gain_map=gains, gain_h=9, gain_w=13)),
                      {"OpenCV resize + multiply": resized_gain}, "OpenCV resize + multiply"))
    cases.append(Case("opcodes", "apply_profile_gain_table_map float32 RGB",
                      single("apply_profile_gain_table_map", rgb, orgb,
                             dict(gains=np.random.default_rng(7).uniform(0.9, 1.1, 5 * 7 * 16).astype(F32),
                                  points_v=5, points_h=7, spacing_v=0.25, spacing_h=1 / 6, origin_v=0.0,
                                  origin_h=0.0, num_table_points=16, weights=[0.3, 0.3, 0.3, 0.1, 0.0],
                                  gamma=1.0, exposure_weight_gain=1.0)),
                      {"NumPy weighted sum": lambda: np.clip(rgb @ np.array([0.3, 0.3, 0.3], F32), 0, 1)}, None,
                      "the peer only forms the weighted channel sum"))
    vignette = cv2.resize(gains.reshape(9, 13), (w, h))

    def np_vignette():
        return np.clip(plane * vignette, 0, 1)
    cases.append(Case("opcodes", "fix_vignette float32 plane",
                      single("fix_vignette", plane, out, dict(params=np.array([0.3, -0.1, 0.05]),
                                                              center_x=f64(0.5), center_y=f64(0.5))),
                      {"NumPy multiply by a gain image": np_vignette}, None,
                      "the peer's gain image is made beforehand"))
    cases.append(Case("opcodes", "map_polynomial float32 plane",
                      single("map_polynomial", plane, out, dict(top=0, left=0, bottom=h, right=w, start_plane=0,
                                                                num_planes=1, row_pitch=1, col_pitch=1,
                                                                coefficients=[0.01, 0.9, 0.2, -0.1], degree=3)),
                      {"NumPy Horner": lambda: ((F32(-0.1) * plane + F32(0.2)) * plane + F32(0.9)) * plane
                       + F32(0.01)}, None))
    raw = make_mosaic(h, w)
    raw[::97, ::89] = 0
    out16, out16_cv = np.empty_like(raw), np.empty_like(raw)
    cases.append(Case("opcodes", "fix_bad_pixels_constant uint16 mosaic",
                      single("fix_bad_pixels_constant", raw, out16, dict(constant=0, bayer_phase=0)),
                      {"OpenCV medianBlur 3": lambda: cv2.medianBlur(raw, 3, dst=out16_cv)}, None))
    return cases
