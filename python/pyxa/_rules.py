"""Rules that involve more than one attribute or the images: counts that depend
on other attributes, windows that must fit the input, and the output image each
op makes. Single-attribute rules live in the op table."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

from ._errors import GraphError
from ._opdefs import OpDef
from ._tensor import Tensor

Attrs = dict[str, Any]
OutputSpec = tuple[str, int, int, int]  # dtype name, height, width, channels


def _need_length(where: str, attrs: Attrs, name: str, want: int, exact: bool = True) -> None:
    got = attrs[name].size
    if (got != want) if exact else (got < want):
        need = f"{want}" if exact else f"at least {want}"
        raise GraphError(f'{where}: "{name}" needs {need} values, got {got}')


def _hue_sat(where: str, attrs: Attrs, x: Tensor | None) -> None:
    divs = attrs["hue_divs"] * attrs["sat_divs"] * attrs.get("val_divs", 1)
    _need_length(where, attrs, "map_data", divs * 3)


def _normalize_raw(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    if attrs["samples_per_pixel"] != x.channels:
        raise GraphError(f'{where}: "samples_per_pixel" must equal the input\'s {x.channels} channels, '
                         f"got {attrs['samples_per_pixel']}")
    pattern = attrs["black_repeat_rows"] * attrs["black_repeat_cols"] * attrs["samples_per_pixel"]
    _need_length(where, attrs, "black_level", pattern, exact=False)
    _levels_make_an_image(where, attrs)


def _levels_make_an_image(where: str, attrs: Attrs) -> None:
    """Levels that turn every sample of a site black (the engine takes them, and
    its image is black there) are a caller's mistake: refused with the values."""
    black, white = attrs["black_level"], attrs["white_level"]
    for name, levels in (("black_level", black), ("white_level", white)):
        if not np.all(np.isfinite(levels)):
            raise GraphError(f'{where}: "{name}" must be finite, got {levels.tolist()}')
    samples = attrs["samples_per_pixel"]
    for i, b in enumerate(black):
        w = white[(i % samples) % white.size]
        if b >= w:
            raise GraphError(f'{where}: "black_level" {b:g} is not below "white_level" {w:g}: that site '
                             "would be black everywhere")


def _transform_color(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    if not any(k in attrs for k in ("input_lut", "matrix", "output_lut")):
        raise GraphError(f'{where}: needs at least one of "input_lut", "matrix", "output_lut"')
    if attrs["hue_preserving"]:
        if x.dtype.name != "float32" or "input_lut" not in attrs:
            raise GraphError(f'{where}: "hue_preserving" needs a float32 input and an "input_lut"')
        if "matrix" not in attrs and ("output_lut" in attrs or attrs["dest_dtype"] != "float32"):
            raise GraphError(f'{where}: "hue_preserving" without "matrix" allows only a float32 output '
                             f'and no "output_lut"')


def _view(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    for start, size, limit in (("top", "height", x.height), ("left", "width", x.width)):
        if attrs[start] + attrs[size] > limit:
            raise GraphError(f'{where}: "{size}" reaches past the input: {start} {attrs[start]} + {size} '
                             f"{attrs[size]} > {limit}")


def _warp(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    planes = min(attrs["num_planes"], x.channels)
    _need_length(where, attrs, "radial_params", attrs["num_coeffs"] * planes, exact=False)
    if "tangential_params" in attrs:
        _need_length(where, attrs, "tangential_params", 2 * planes, exact=False)


def _gain_map(where: str, attrs: Attrs, x: Tensor | None) -> None:
    _need_length(where, attrs, "gain_values", attrs["points_v"] * attrs["points_h"] * attrs["map_planes"],
                 exact=False)


def _profile_gain(where: str, attrs: Attrs, x: Tensor | None) -> None:
    _need_length(where, attrs, "gains", attrs["points_v"] * attrs["points_h"] * attrs["num_table_points"],
                 exact=False)


def _flat_gain(where: str, attrs: Attrs, x: Tensor | None) -> None:
    _need_length(where, attrs, "gain_map", attrs["gain_h"] * attrs["gain_w"], exact=False)


def _rectangle_inside(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    # The kernel walks the rectangle as given, so it must lie inside the image.
    for lo, hi, limit in (("top", "bottom", x.height), ("left", "right", x.width)):
        if attrs[lo] == attrs[hi] == 0:
            continue
        if not attrs[lo] <= attrs[hi] <= limit:
            raise GraphError(f'{where}: "{hi}" must lie between "{lo}" ({attrs[lo]}) and the image\'s '
                             f"{limit}, got {attrs[hi]}")


def _map_polynomial(where: str, attrs: Attrs, x: Tensor | None) -> None:
    _need_length(where, attrs, "coefficients", attrs["degree"] + 1, exact=False)
    _rectangle_inside(where, attrs, x)


def _selected(attrs: Attrs, lo: str, hi: str, pitch: str, extent: int) -> int:
    """How many rows (or columns) of the rectangle its pitch selects."""
    first, end = (0, extent) if attrs[lo] == attrs[hi] == 0 else (int(attrs[lo]), int(attrs[hi]))
    return max(0, -(-(end - first) // int(attrs[pitch])))


def _per_line(values: str, by_row: bool) -> Callable[[str, Attrs, Tensor | None], None]:
    def check(where: str, attrs: Attrs, x: Tensor | None) -> None:
        _rectangle_inside(where, attrs, x)
        assert x is not None
        lines = (_selected(attrs, "top", "bottom", "row_pitch", x.height) if by_row
                 else _selected(attrs, "left", "right", "col_pitch", x.width))
        _need_length(where, attrs, values, lines, exact=False)
    return check


def _bad_pixel_list(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    h, w = x.height, x.width
    for name, group, what in (("points", 2, "(row, column) pairs"),
                              ("rects", 4, "(top, left, bottom, right) quads")):
        if name in attrs and attrs[name].size % group:
            raise GraphError(f'{where}: "{name}" needs {what}, got {attrs[name].size} values')
    for i, (r, c) in enumerate(attrs["points"].reshape(-1, 2).tolist() if "points" in attrs else []):
        if not (r < h and c < w):
            raise GraphError(f'{where}: point {i} ({r}, {c}) lies outside the {h} x {w} image')
    for i, (t, lf, b, rt) in enumerate(attrs["rects"].reshape(-1, 4).tolist() if "rects" in attrs else []):
        if not (t < b <= h and lf < rt <= w):
            raise GraphError(f'{where}: rectangle {i} ({t}, {lf}, {b}, {rt}) is not a non-empty part of '
                             f"the {h} x {w} image")


def _trim_bounds(where: str, attrs: Attrs, x: Tensor | None) -> None:
    assert x is not None
    for lo, hi, limit in (("top", "bottom", x.height), ("left", "right", x.width)):
        if not attrs[lo] < attrs[hi] <= limit:
            raise GraphError(f'{where}: "{hi}" must lie after "{lo}" ({attrs[lo]}) and at most at the '
                             f"image's {limit}, got {attrs[hi]}")


CROSS_CHECKS: dict[str, Callable[[str, Attrs, Tensor | None], None]] = {
    "apply_hue_sat_map": _hue_sat,
    "apply_hue_sat_val_map": _hue_sat,
    "normalize_raw": _normalize_raw,
    "transform_color": _transform_color,
    "view": _view,
    "warp_rectilinear": _warp,
    "apply_gain_map": _gain_map,
    "apply_gain_map_cfa": _gain_map,
    "apply_profile_gain_table_map": _profile_gain,
    "apply_flat_gain_map": _flat_gain,
    "map_polynomial": _map_polynomial,
    "warp_fisheye": _warp,
    "fix_bad_pixels_list": _bad_pixel_list,
    "trim_bounds": _trim_bounds,
    "map_table": _rectangle_inside,
    "delta_per_row": _per_line("deltas", by_row=True),
    "delta_per_column": _per_line("deltas", by_row=False),
    "scale_per_row": _per_line("scales", by_row=True),
    "scale_per_column": _per_line("scales", by_row=False),
}


def derive(op: OpDef, name: str, rule: str, attrs: Attrs, x: Tensor | None) -> int:
    """The value of a required attribute the caller left to the builder."""
    if rule == "input_channels":
        assert x is not None
        return x.channels
    if rule == "coefficients_length":
        if "coefficients" not in attrs:
            return 0
        return int(attrs["coefficients"].size) - 1
    raise AssertionError(f"{op.name}.{name}: unknown derivation {rule!r}")


def output_of(op: OpDef, where: str, attrs: Attrs, x: Tensor | None, dtype: np.dtype | None,
              shape: Sequence[int] | None) -> OutputSpec:
    """The element type and size of the image the op makes."""
    if op.output_shape == "given":
        if shape is None or dtype is None:
            raise GraphError(f"{where}: needs shape= and dtype= for the image it makes")
        if len(shape) not in (2, 3) or any(int(s) < 1 for s in shape):
            raise GraphError(f"{where}: shape= must be (height, width) or (height, width, channels) of "
                             f"positive sizes, got {tuple(shape)}")
        return dtype.name, int(shape[0]), int(shape[1]), int(shape[2]) if len(shape) == 3 else 1
    assert x is not None
    h, w, c = x.height, x.width, x.channels
    if op.output_dtype == "float32":
        out_dtype = "float32"
    elif op.output_dtype == "dest_dtype":
        out_dtype = attrs["dest_dtype"]
    elif op.output_dtype == "chosen" and dtype is not None:
        out_dtype = dtype.name
    else:
        out_dtype = x.dtype.name
    if op.name == "lut" and c == 3 and (x.dtype.name, out_dtype) != ("float32", "float32"):
        raise GraphError(f"{where}: a 3-channel lookup needs float32 input and output, got "
                         f"{x.dtype.name} to {out_dtype}")
    if op.output_shape == "demosaic":
        return out_dtype, h, w, 3
    if op.output_shape == "half":
        # One pixel per whole 2x2 cell: a mosaic under two rows or columns has none.
        if h < 2 or w < 2:
            raise GraphError(f"{where}: input {x.describe()} needs at least 2 rows and 2 columns, "
                             "one whole 2x2 cell")
        return out_dtype, h // 2, w // 2, 3
    if op.output_shape == "view":
        return out_dtype, attrs["height"], attrs["width"], c
    if op.output_shape == "pad":
        return out_dtype, h + attrs["top"] + attrs["bottom"], w + attrs["left"] + attrs["right"], c
    if op.output_shape == "trim":
        return out_dtype, attrs["bottom"] - attrs["top"], attrs["right"] - attrs["left"], c
    if op.output_shape == "orientation" and attrs["orientation"] >= 5:
        return out_dtype, w, h, c
    return out_dtype, h, w, c
