"""The op table: every built-in op and correction opcode with its inputs, output
and attributes. Pure data, importable without the native module. Everything
else that describes an op comes from it (`python tools/generate_ops.py`): the
builder's op methods (_ops.py) and their docstrings, the op reference
(docs/ops.md), the engine's attribute rows and op definitions
(ops/op_table.gen.cpp) and the opcodes' parameter schemas and lookup order
(opcodes/opcode_schemas.gen.hpp, opcodes/opcode_list.gen.h)."""

from __future__ import annotations

import json
from dataclasses import asdict, dataclass, field
from typing import Any, Literal, get_args

# Attribute kinds and what the engine receives for each:
#   int       one signed 32-bit integer
#   bool      a flag, sent as an integer 0 or 1
#   float     one 32-bit float
#   float64   one 64-bit float (correction opcodes only)
#   floats    an array of 32-bit floats
#   floats64  an array of 64-bit floats (correction opcodes only)
#   ints      an array of 32-bit integers
#   str       a string, one of `choices` when given
#   dtype     an element type name: "uint8", "uint16" or "float32"
#   cfa       a 2x2 Bayer pattern name, any letter case
#   json      a JSON object of boolean switches (keys in `choices`)
AttrKind = Literal["int", "bool", "float", "float64", "floats", "floats64", "ints", "str", "dtype", "cfa", "json"]
KINDS: tuple[AttrKind, ...] = get_args(AttrKind)

# How the engine runs an op: the row kernels' families, or a whole-image
# correction opcode of the opcode library.
Family = Literal["pointwise", "span", "demosaic", "orientation", "opcode"]
# The output's element type: the input's, float32, the "dest_dtype" attribute's,
# or the builder's dtype= argument.
OutputDtype = Literal["same", "float32", "dest_dtype", "chosen"]
# The output's size: the input's, RGB of the input's size, or one of the rules
# in _rules.py ("half": RGB of half the input's height and width, rounded
# down); "given" is the builder's shape= argument.
OutputShape = Literal["same", "demosaic", "half", "view", "pad", "orientation", "trim", "given"]

# Where a required attribute comes from when the caller leaves it out: a
# constant (`default`) or a property of the input image (`derived`).
DERIVED_FROM_CHANNELS = "input_channels"
DERIVED_FROM_COEFFICIENTS = "coefficients_length"


@dataclass(frozen=True)
class AttrDef:
    """One attribute of an op: its name, kind, rules and a valid example value.

    For built-in ops the engine itself refuses what breaks `required`,
    `length`/`min_length` and `minimum`/`maximum` (integers); the builder
    refuses it earlier, and also what breaks `builder_minimum` and
    `builder_maximum`, which are tighter than what the engine takes."""

    name: str
    kind: AttrKind
    doc: str
    required: bool = True  # the engine refuses the node without it
    default: Any = None  # required: the builder sends it when omitted; optional: what absence means
    derived: str | None = None  # required: the builder computes it from the input when omitted
    length: int | None = None  # exact element count of an array
    min_length: int = 1  # least element count of an array
    length_rule: str | None = None  # a count that depends on other attributes, as text (the builder
    # checks it in _rules.py)
    minimum: float | None = None
    maximum: float | None = None
    builder_minimum: float | None = None
    builder_maximum: float | None = None
    choices: tuple[str, ...] = ()
    engine_order: tuple[str, ...] = ()  # the choices in the order of the engine's codes, where it differs
    empty_is_absent: bool = False  # the engine takes an array with no elements as absent
    example: Any = None  # a value that makes the op's example node valid

    @property
    def lowest(self) -> float | None:
        """The least value the builder takes."""
        return self.builder_minimum if self.builder_minimum is not None else self.minimum

    @property
    def highest(self) -> float | None:
        """The largest value the builder takes."""
        return self.builder_maximum if self.builder_maximum is not None else self.maximum


@dataclass(frozen=True, kw_only=True)
class OpDef:
    """One op: what it does, the image it takes and makes, and its attributes."""

    name: str
    family: Family
    doc: str
    input_dtypes: tuple[str, ...]  # empty: the op reads no image
    input_channels: tuple[int, ...] | None  # None: any channel count
    output_dtype: OutputDtype
    output_shape: OutputShape
    output_doc: str
    attrs: tuple[AttrDef, ...]
    example_input: tuple[int, int, int, str] | None = (4, 4, 1, "float32")  # (height, width, channels, dtype)
    notes: tuple[str, ...] = field(default_factory=tuple)  # rules that tie attributes together
    # The engine checks the node's tensors (its input's type or channels)
    # before its attributes, so a node wrong in both is refused for the tensor.
    tensor_checks_first: bool = False
    # An opcode that copies its input to its output first and then reads only
    # its output: the engine may run it on its input's own buffer when no
    # later node reads that buffer, which saves clearing and copying it.
    works_in_place: bool = False

    @property
    def kind(self) -> Literal["op", "opcode"]:
        """"op" for a built-in op, "opcode" for a whole-image correction."""
        return "opcode" if self.family == "opcode" else "op"

    def attr(self, name: str) -> AttrDef:
        for a in self.attrs:
            if a.name == name:
                return a
        raise KeyError(name)


IDENTITY = (1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0)
NUMERIC = ("uint8", "uint16", "float32")


def _bits(name: str, side: str) -> AttrDef:
    return AttrDef(name, "int", f"Significant bits of the {side} integer type; 0 takes the type's own "
                   "(8 for uint8, 16 for uint16). Ignored for float32.", default=0, maximum=31, builder_minimum=0)


def _dest_dtype(doc: str = "Element type of the output image.") -> AttrDef:
    return AttrDef("dest_dtype", "dtype", doc, choices=NUMERIC, example="float32")


def _rect(side: str, doc: str) -> AttrDef:
    return AttrDef(side, "int", doc, default=0, minimum=0)


_PITCH = (
    AttrDef("row_pitch", "int", "Process every row_pitch-th row of the rectangle, from its top row.",
            default=1, minimum=1),
    AttrDef("col_pitch", "int", "Process every col_pitch-th column of the rectangle, from its left column.",
            default=1, minimum=1),
)

_GAIN_GRID = (
    AttrDef("points_v", "int", "Grid rows.", minimum=1, example=2),
    AttrDef("points_h", "int", "Grid columns.", minimum=1, example=2),
    AttrDef("map_planes", "int", "Gain planes in the grid; image plane p reads gain plane min(p, map_planes - 1).",
            default=1, minimum=1),
)

_GAIN_PLACE = (
    AttrDef("spacing_v", "float64", "Grid row spacing as a fraction of the image height.", example=1.0),
    AttrDef("spacing_h", "float64", "Grid column spacing as a fraction of the image width.", example=1.0),
    AttrDef("origin_v", "float64", "Position of grid row 0 as a fraction of the image height.", default=0.0),
    AttrDef("origin_h", "float64", "Position of grid column 0 as a fraction of the image width.", default=0.0),
)

_GAIN_RECT = (
    AttrDef("top", "int", "First row of the rectangle to process (negative counts as 0).", default=0),
    AttrDef("left", "int", "First column of the rectangle to process (negative counts as 0).", default=0),
    AttrDef("bottom", "int", "Row after the rectangle; 0 or less reaches the bottom edge.", default=0),
    AttrDef("right", "int", "Column after the rectangle; 0 or less reaches the right edge.", default=0),
)

_GAIN_VALUES = AttrDef(
    "gain_values", "floats", "The gain grid, row-major: the gain of grid row r, column c, plane m is at "
    "(r * points_h + c) * map_planes + m.", length_rule="at least points_v * points_h * map_planes",
    example=[1.0, 1.0, 1.0, 1.0])


# The area of map_table and the per-row and per-column opcodes, as map_polynomial's.
_AREA = (
    _rect("top", "First row of the rectangle."),
    _rect("left", "First column of the rectangle."),
    _rect("bottom", "Row after the rectangle; top = bottom = 0 means every row."),
    _rect("right", "Column after the rectangle; left = right = 0 means every column."),
    AttrDef("start_plane", "int", "First plane processed.", default=0, minimum=0),
    AttrDef("num_planes", "int", "Planes processed.", derived=DERIVED_FROM_CHANNELS, minimum=1),
    *_PITCH,
)
_AREA_NOTE = "The rectangle lies inside the image: top <= bottom <= height, left <= right <= width."

# The repair takes the same-colour sites two apart along the row and column for
# red and blue sites, and the diagonal neighbours for green ones; the phase says
# which sites are green. (A DNG's BayerPhase, 0 for red at the top-left, is
# this phase XOR 1.)
_BAYER_PHASE = AttrDef(
    "bayer_phase", "int", "Mosaic phase: 1 or 2 when the top-left site is red or blue, 0 or 3 when it is green.",
    minimum=0, maximum=3, example=0)


def _per_line(name: str, line: str, values: str, pitch: str) -> OpDef:
    """One of the four opcodes that add or multiply one value per selected row or column."""
    first = "top" if line == "row" else "left"
    extent = "rows" if line == "row" else "columns"
    what = (f"Adds one value per selected {line} to the selected samples of that {line}" if values == "deltas"
            else f"Multiplies the selected samples of each selected {line} by one value per {line}")
    return OpDef(
        name=name, family="opcode", works_in_place=True,
        doc=f"{what} (the {line}s of a rectangle, every {pitch}-th from its {first} one, over a plane range and a "
        "pitch); results clamped to [0, 1] (NaN to 0).",
        input_dtypes=("float32",), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(*_AREA,
         AttrDef(values, "floats", f"Value k for the k-th selected {line} of the rectangle.",
                 length_rule=f"at least ceil(rectangle {extent} / {pitch})", example=[0.0] * 4)),
        notes=(_AREA_NOTE,))


OPS: tuple[OpDef, ...] = (
    OpDef(
        name="sub_scalar", family="pointwise",
        doc="Subtracts one value from every element: out = in - value.",
        input_dtypes=("float32",), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(AttrDef("value", "float", "The value subtracted.", example=0.25),)),
    OpDef(
        name="mul_scalar", family="pointwise",
        doc="Multiplies every element by one value: out = in * value.",
        input_dtypes=("float32",), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(AttrDef("value", "float", "The factor.", example=2.0),)),
    OpDef(
        name="matrix_3x3", family="pointwise",
        doc="Multiplies each RGB pixel by a 3x3 matrix (row-major) and clamps every result to [0, 1]: "
        "out_k = clamp(m[3k] r + m[3k+1] g + m[3k+2] b).",
        input_dtypes=("float32",), input_channels=(3,), output_dtype="same", output_shape="same",
        output_doc="float32, 3 channels",
        attrs=(AttrDef("matrix", "floats", "The matrix, row by row; a 3x3 array is flattened.", length=9,
                 example=list(IDENTITY)),),
        example_input=(4, 4, 3, "float32")),
    OpDef(
        name="convert_dtype", family="pointwise",
        doc="Converts between element types, scaling the input range onto the output range "
        "(integers stand for fractions of 2^bits - 1), with an optional upper clip. Results written "
        "to integers are truncated toward zero.",
        input_dtypes=NUMERIC, input_channels=None, output_dtype="dest_dtype", output_shape="same",
        output_doc="dest_dtype, same shape as the input",
        attrs=(_dest_dtype(), _bits("src_bits", "input"), _bits("dst_bits", "output"),
         AttrDef("clip_max", "float", "Upper limit of the scaled value before it is stored; negative means "
                 "no limit (an integer output's maximum or more also means none).", default=-1.0)),
        example_input=(4, 4, 1, "uint16")),
    OpDef(
        name="lut", family="pointwise",
        doc="Looks every element up in a table with linear interpolation; the table spans the input range "
        "(a 256-entry table on uint8 input is indexed directly). One channel of uint8, uint16 or "
        "float32, or three float32 channels.",
        input_dtypes=NUMERIC, input_channels=(1, 3), output_dtype="chosen", output_shape="same",
        output_doc="same shape as the input; element type chosen with dtype= "
        "(default: the input's)",
        attrs=(AttrDef("lut", "floats", "Table entries, the first for the input's 0 and the last for its maximum.",
                 min_length=2, example=[0.0, 1.0]),)),
    OpDef(
        name="mono_lut", family="pointwise",
        doc="Looks every element of every channel up in a table with linear interpolation, with explicit "
        "bit counts for integer input and output.",
        input_dtypes=NUMERIC, input_channels=None, output_dtype="dest_dtype", output_shape="same",
        output_doc="dest_dtype, same shape as the input",
        attrs=(_dest_dtype(), _bits("src_bits", "input"), _bits("dst_bits", "output"),
         AttrDef("lut", "floats", "Table entries spanning the input range.", min_length=2,
                 example=[0.0, 1.0])),
        example_input=(4, 4, 1, "uint8")),
    OpDef(
        name="transform_color", family="pointwise",
        doc="Colour transform of RGB pixels: an optional input curve per channel, an optional 3x3 matrix and "
        "an optional output curve, each curve a table spanning [0, 1]. With hue_preserving the input "
        "curve is applied so that each pixel keeps its hue.",
        input_dtypes=NUMERIC, input_channels=(3,), output_dtype="dest_dtype", output_shape="same",
        output_doc="dest_dtype, 3 channels",
        attrs=(_dest_dtype(), _bits("src_bits", "input"), _bits("dst_bits", "output"),
         AttrDef("hue_preserving", "bool", "Apply the input curve keeping each pixel's hue (float32 input "
                 "with an input curve only).", default=False),
         AttrDef("input_lut", "floats", "Curve applied to each channel first.", required=False,
                 min_length=2),
         AttrDef("matrix", "floats", "3x3 matrix, row-major, applied after the input curve.", required=False,
                 length=9, example=list(IDENTITY)),
         AttrDef("output_lut", "floats", "Curve applied to each channel last (for example an sRGB gamma).",
                 required=False, min_length=2)),
        example_input=(4, 4, 3, "float32"), tensor_checks_first=True,
        notes=("At least one of input_lut, matrix and output_lut is needed.",)),
    OpDef(
        name="clip_and_transform_color", family="pointwise",
        doc="Limits each channel to its own upper bound, then multiplies by a 3x3 matrix and clamps to [0, 1].",
        input_dtypes=("float32",), input_channels=(3,), output_dtype="same", output_shape="same",
        output_doc="float32, 3 channels",
        attrs=(AttrDef("clip_max", "floats", "Upper bound of red, green and blue.", length=3,
                 example=[1.0, 1.0, 1.0]),
         AttrDef("matrix", "floats", "3x3 matrix, row-major.", length=9, example=list(IDENTITY))),
        example_input=(4, 4, 3, "float32"), tensor_checks_first=True),
    OpDef(
        name="apply_hue_sat_map", family="pointwise",
        doc="Adjusts colours with a hue x saturation map of (hue shift in degrees, saturation scale, value "
        "scale) points, as colour profiles carry them.",
        input_dtypes=("float32",), input_channels=(3,), output_dtype="same", output_shape="same",
        output_doc="float32, 3 channels",
        attrs=(AttrDef("hue_divs", "int", "Hue divisions H.", minimum=1, example=2),
         AttrDef("sat_divs", "int", "Saturation divisions S.", minimum=2, example=2),
         AttrDef("map_data", "floats", "H x S points of three floats, saturation varying fastest.",
                 length_rule="exactly hue_divs * sat_divs * 3", example=[0.0, 1.0, 1.0] * 4),
         AttrDef("engine_opts", "json", "Switches: \"chroma_lut\" (true: precomputed colour table, "
                 "false: direct computation).", required=False, choices=("chroma_lut",))),
        example_input=(4, 4, 3, "float32")),
    OpDef(
        name="apply_hue_sat_val_map", family="pointwise",
        doc="Adjusts colours with a hue x saturation x value map of (hue shift in degrees, saturation scale, "
        "value scale) points.",
        input_dtypes=("float32",), input_channels=(3,), output_dtype="same", output_shape="same",
        output_doc="float32, 3 channels",
        attrs=(AttrDef("hue_divs", "int", "Hue divisions H.", minimum=1, example=2),
         AttrDef("sat_divs", "int", "Saturation divisions S.", minimum=2, example=2),
         AttrDef("val_divs", "int", "Value divisions V.", minimum=2, example=2),
         AttrDef("map_data", "floats", "V slabs of H x S points of three floats, saturation varying fastest.",
                 length_rule="exactly hue_divs * sat_divs * val_divs * 3", example=[0.0, 1.0, 1.0] * 8),
         AttrDef("engine_opts", "json", "Switches: \"prism_lut\" (true: precomputed colour table, "
                 "false: direct computation).", required=False, choices=("prism_lut",))),
        example_input=(4, 4, 3, "float32")),
    OpDef(
        name="normalize_raw", family="span",
        doc="Turns raw sensor samples into linear float32 in [0, 1]: optional linearization table, minus a "
        "black level repeating in a small pattern (plus optional per-column and per-row offsets), divided "
        "by white level minus black level, clamped.",
        input_dtypes=("uint16", "float32"), input_channels=None, output_dtype="float32", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(AttrDef("black_repeat_rows", "int", "Rows of the black level pattern.", default=1, minimum=1),
         AttrDef("black_repeat_cols", "int", "Columns of the black level pattern.", default=1, minimum=1),
         AttrDef("samples_per_pixel", "int", "Samples per pixel; must equal the input's channels.",
                 derived=DERIVED_FROM_CHANNELS, minimum=1),
         AttrDef("black_level", "floats", "Black levels of the pattern, row-major, samples innermost.",
                 length_rule="at least black_repeat_rows * black_repeat_cols * samples_per_pixel", example=[64.0]),
         AttrDef("white_level", "floats", "White level per sample (repeats when shorter).", example=[1023.0]),
         AttrDef("black_delta_h", "floats", "Black offset per column (repeats across the row).",
                 required=False, empty_is_absent=True),
         AttrDef("black_delta_v", "floats", "Black offset per row (repeats down the image).", required=False,
                 empty_is_absent=True),
         AttrDef("linearization_table", "ints", "Table of 16-bit values the samples are looked up in first.",
                 required=False, builder_minimum=0, builder_maximum=65535, empty_is_absent=True)),
        example_input=(4, 4, 1, "uint16"), tensor_checks_first=True),
    OpDef(
        name="view", family="span",
        doc="Crops a window out of the image.",
        input_dtypes=NUMERIC, input_channels=None, output_dtype="same", output_shape="view",
        output_doc="same type and channels; height x width",
        attrs=(AttrDef("top", "int", "Row of the window's top edge.", default=0, builder_minimum=0),
         AttrDef("left", "int", "Column of the window's left edge.", default=0, builder_minimum=0),
         AttrDef("width", "int", "Window width.", minimum=1, example=2),
         AttrDef("height", "int", "Window height.", minimum=1, example=2),
         AttrDef("oob_valid", "bool", "Whether fused neighbours may read past the window into the rest of "
                 "the input.", required=False, default=True)),
        notes=("The window lies inside the input.",
               "With oob_valid true (the default), a demosaic fused after the view reads the real "
               "pixels beyond the window for its edge rows and columns, where the same demosaic run "
               "on the cropped image alone mirrors the window's own pixels: the two results differ "
               "at the window's border by design. Set oob_valid to false for the mirrored result.")),
    OpDef(
        name="pad", family="span",
        doc="Adds borders around the image: a constant per side, or the image mirrored or repeated.",
        input_dtypes=NUMERIC, input_channels=None, output_dtype="same", output_shape="pad",
        output_doc="same type and channels; height + top + bottom x width + left + right",
        attrs=(AttrDef("top", "int", "Rows added above.", default=0, minimum=0),
         AttrDef("bottom", "int", "Rows added below.", default=0, minimum=0),
         AttrDef("left", "int", "Columns added on the left.", default=0, minimum=0),
         AttrDef("right", "int", "Columns added on the right.", default=0, minimum=0),
         AttrDef("mode", "str", "How borders are filled: \"constant\", \"reflect\" (mirror without repeating "
                 "the edge), \"symmetric\" (mirror repeating it) or \"edge\" (repeat it).", required=False,
                 default="constant", choices=("constant", "reflect", "symmetric", "edge"),
                 engine_order=("reflect", "symmetric", "edge", "constant")),
         AttrDef("constant_values", "floats", "Constant mode: the value above, below, left and right "
                 "(corners take left and right), in the image's own units (integers round and saturate).",
                 required=False, length=4, default="zeros")),
        example_input=(4, 4, 1, "uint8")),
    OpDef(
        name="fill", family="span",
        doc="Makes an image of one constant colour. Reads no pixels: its size and type come from the builder's "
        "shape= and dtype=, or from a tensor passed in.",
        input_dtypes=(), input_channels=None, output_dtype="chosen", output_shape="given",
        output_doc="shape= and dtype= given to the builder",
        attrs=(AttrDef("value", "floats", "One value for every channel, or one per channel, in the output's "
                 "own units: float32 takes it as is, integers round and saturate (300 gives 255 in uint8).",
                 example=[0.5]),),
        example_input=None),
    OpDef(
        name="bilinear_demosaic", family="demosaic",
        doc="Interpolates a one-channel Bayer mosaic into RGB by averaging the nearest samples of each colour.",
        input_dtypes=("float32",), input_channels=(1,), output_dtype="float32", output_shape="demosaic",
        output_doc="float32, 3 channels, same height and width",
        attrs=(AttrDef("cfa_pattern", "cfa", "Colours of the 2x2 mosaic cell, row by row.",
                 choices=("RGGB", "BGGR", "GRBG", "GBRG"), example="RGGB"),),
        tensor_checks_first=True),
    OpDef(
        name="ea_demosaic", family="demosaic",
        doc="Edge-aware demosaic: interpolates green along the smoother direction, then red and blue from "
        "colour differences; every result clamped to [0, 1].",
        input_dtypes=("float32",), input_channels=(1,), output_dtype="float32", output_shape="demosaic",
        output_doc="float32, 3 channels, same height and width",
        attrs=(AttrDef("cfa_pattern", "cfa", "Colours of the 2x2 mosaic cell, row by row.",
                 choices=("RGGB", "BGGR", "GRBG", "GBRG"), example="RGGB"),
         AttrDef("fast", "bool", "Cheaper variant: green from the smoother neighbour pair only.",
                 required=False, default=False),
         AttrDef("engine_opts", "json", "Switches: \"neon\" (vectorised loop on arm64; no effect elsewhere).",
                 required=False, choices=("neon",))),
        tensor_checks_first=True),
    OpDef(
        name="half_demosaic", family="demosaic",
        doc="Makes a half-size RGB image from a one-channel Bayer mosaic, one pixel per 2x2 cell: red and blue "
        "are the cell's red and blue samples, green is the mean of its two green samples, (g1 + g2) * 0.5 in "
        "float32. An odd last row or column, which belongs to no whole cell, is left out.",
        input_dtypes=("float32",), input_channels=(1,), output_dtype="float32", output_shape="half",
        output_doc="float32, 3 channels, height // 2 x width // 2",
        attrs=(AttrDef("cfa_pattern", "cfa", "Colours of the 2x2 mosaic cell, row by row.",
                 choices=("RGGB", "BGGR", "GRBG", "GBRG"), example="RGGB"),),
        notes=("The input has at least two rows and two columns.",),
        tensor_checks_first=True),
    OpDef(
        name="orientation", family="orientation",
        doc="Flips, rotates or transposes the image into one of the eight TIFF/EXIF orientations.",
        input_dtypes=NUMERIC, input_channels=None, output_dtype="same", output_shape="orientation",
        output_doc="same type and channels; height and width swapped for 5 to 8",
        attrs=(AttrDef("orientation", "int", "1 unchanged, 2 mirror left-right, 3 rotate 180, 4 mirror top-bottom, "
                 "5 transpose, 6 rotate 90 clockwise, 7 transverse, 8 rotate 90 counter-clockwise.",
                 minimum=1, maximum=8, example=6),)),
    # Whole-image raw corrections.
    OpDef(
        name="apply_profile_gain_table_map", family="opcode", works_in_place=True,
        doc="Multiplies each RGB pixel by a gain looked up by position (a spatial grid) and by brightness (a "
        "table at each grid point), trilinearly interpolated; results clamped to [0, 1].",
        input_dtypes=("float32",), input_channels=(3,), output_dtype="same", output_shape="same",
        output_doc="float32, 3 channels",
        attrs=(AttrDef("gains", "floats", "Gain tables: entry t of grid row r, column c at (r * points_h + c) * "
                 "num_table_points + t.", length_rule="at least points_v * points_h * num_table_points",
                 example=[1.0] * 4),
         AttrDef("points_v", "int", "Grid rows.", minimum=1, example=2),
         AttrDef("points_h", "int", "Grid columns.", minimum=1, example=2),
         AttrDef("spacing_v", "float", "Grid row spacing as a fraction of the image height.", example=1.0),
         AttrDef("spacing_h", "float", "Grid column spacing as a fraction of the image width.", example=1.0),
         AttrDef("origin_v", "float", "Position of grid row 0 as a fraction of the image height.",
                 default=0.0),
         AttrDef("origin_h", "float", "Position of grid column 0 as a fraction of the image width.",
                 default=0.0),
         AttrDef("num_table_points", "int", "Entries per table; entry t stands for brightness t / N.",
                 minimum=1, example=1),
         AttrDef("weights", "floats", "Brightness weights of red, green, blue, minimum and maximum.",
                 length=5, example=[0.0, 0.0, 0.0, 0.0, 1.0]),
         AttrDef("gamma", "float", "Exponent applied to the brightness.", default=1.0),
         AttrDef("exposure_weight_gain", "float", "Factor applied to the weighted brightness before it is "
                 "clamped to [0, 1].", default=1.0)),
        example_input=(4, 4, 3, "float32")),
    OpDef(
        name="fix_vignette", family="opcode", works_in_place=True,
        doc="Brightens the image towards its corners by a radial gain 1 + k0 s + k1 s^2 + ... (s the squared "
        "distance from the optical centre, 1 at the farthest corner); results clamped to [0, 1].",
        input_dtypes=("float32",), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(AttrDef("params", "floats64", "Radial coefficients k0, k1, ...; the first five are used.",
                 example=[0.0]),
         AttrDef("center_x", "float64", "Optical centre as a fraction of the image width.", default=0.5),
         AttrDef("center_y", "float64", "Optical centre as a fraction of the image height.", default=0.5))),
    OpDef(
        name="warp_rectilinear", family="opcode",
        doc="Corrects radial and tangential lens distortion per plane by resampling (bilinear or bicubic).",
        input_dtypes=("float32",), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(AttrDef("radial_params", "floats64", "num_coeffs radial coefficients per plane, plane after plane "
                 "(at most four per plane are used).",
                 length_rule="at least num_coeffs * min(num_planes, channels)", example=[1.0]),
         AttrDef("num_planes", "int", "Planes to resample, from the first. The output's planes from num_planes "
                 "on are not written: an array passed as out= keeps what it held there; an output the "
                 "graph makes, or an image between nodes, holds zeros.",
                 derived=DERIVED_FROM_CHANNELS, minimum=1),
         AttrDef("num_coeffs", "int", "Radial coefficients per plane.", minimum=1, example=1),
         AttrDef("tangential_params", "floats64", "Two tangential coefficients (p0, p1) per plane.",
                 required=False, length_rule="at least 2 * min(num_planes, channels)"),
         AttrDef("center_x", "float64", "Optical centre as a fraction of the image width.", default=0.5),
         AttrDef("center_y", "float64", "Optical centre as a fraction of the image height.", default=0.5),
         AttrDef("use_bicubic", "bool", "Bicubic instead of bilinear sampling.", default=False))),
    OpDef(
        name="apply_gain_map", family="opcode", works_in_place=True,
        doc="Multiplies selected planes of an RGB image by a gain interpolated from a small grid, over a "
        "rectangle and with a row and column pitch; results clamped to [0, 1].",
        input_dtypes=("float32",), input_channels=(3,), output_dtype="same", output_shape="same",
        output_doc="float32, 3 channels",
        attrs=(_GAIN_VALUES, *_GAIN_GRID, *_GAIN_RECT,
         AttrDef("start_plane", "int", "First image plane processed.", default=0, minimum=0),
         AttrDef("num_planes", "int", "Image planes processed.", default=3, minimum=1),
         *_PITCH, *_GAIN_PLACE),
        example_input=(4, 4, 3, "float32")),
    OpDef(
        name="apply_gain_map_cfa", family="opcode", works_in_place=True,
        doc="Multiplies a one-channel mosaic by a gain interpolated from a small grid, over a rectangle and with "
        "a row and column pitch (selecting mosaic sites); results clamped to [0, 1].",
        input_dtypes=("float32",), input_channels=(1,), output_dtype="same", output_shape="same",
        output_doc="float32, 1 channel",
        attrs=(_GAIN_VALUES, *_GAIN_GRID, *_GAIN_RECT, *_PITCH, *_GAIN_PLACE)),
    OpDef(
        name="apply_flat_gain_map", family="opcode", works_in_place=True,
        doc="Multiplies a one-channel image by a gain bilinearly interpolated from a grid spread evenly over "
        "the image (no clamping).",
        input_dtypes=("float32",), input_channels=(1,), output_dtype="same", output_shape="same",
        output_doc="float32, 1 channel",
        attrs=(AttrDef("gain_map", "floats", "The grid, row-major.", length_rule="at least gain_h * gain_w",
                 example=[1.0] * 4),
         AttrDef("gain_h", "int", "Grid rows.", minimum=2, example=2),
         AttrDef("gain_w", "int", "Grid columns.", minimum=2, example=2))),
    OpDef(
        name="map_polynomial", family="opcode", works_in_place=True,
        doc="Replaces selected samples by a polynomial of their value (point-symmetric about (0, c0) for "
        "negative values), over a rectangle, a plane range and a pitch; results clamped to [-1, 1].",
        input_dtypes=("float32",), input_channels=(1, 3), output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(_rect("top", "First row of the rectangle."),
         _rect("left", "First column of the rectangle."),
         _rect("bottom", "Row after the rectangle; top = bottom = 0 means every row."),
         _rect("right", "Column after the rectangle; left = right = 0 means every column."),
         AttrDef("start_plane", "int", "First plane processed.", default=0, minimum=0),
         AttrDef("num_planes", "int", "Planes processed.", derived=DERIVED_FROM_CHANNELS, minimum=1),
         *_PITCH,
         AttrDef("coefficients", "floats", "c0, c1, ..., c_degree.", length_rule="at least degree + 1",
                 example=[0.0, 1.0]),
         AttrDef("degree", "int", "Polynomial degree.", derived=DERIVED_FROM_COEFFICIENTS, minimum=0)),
        notes=("The rectangle lies inside the image: top <= bottom <= height, left <= right <= width.",)),
    OpDef(
        name="fix_bad_pixels_constant", family="opcode",
        doc="Repairs a uint16 Bayer mosaic whose defective samples hold one known value: each becomes the "
        "rounded mean of its nearest good same-colour neighbours.",
        input_dtypes=("uint16",), input_channels=(1,), output_dtype="same", output_shape="same",
        output_doc="uint16, 1 channel",
        attrs=(AttrDef("constant", "int", "The value that marks a defective sample.", minimum=0, maximum=65535,
                 example=0),
         _BAYER_PHASE),
        example_input=(4, 4, 1, "uint16")),
    OpDef(
        name="warp_fisheye", family="opcode",
        doc="Corrects fisheye lens distortion per plane by resampling (bilinear or bicubic, as warp_rectilinear): "
        "an output pixel at distance r from the optical centre (1 at the farthest corner) reads the input on "
        "the same ray at distance kr0 t + kr1 t^3 + kr2 t^5 + kr3 t^7, t = atan(r) (at the centre itself the "
        "ratio of the two distances is kr0); source positions are clamped into the image.",
        input_dtypes=("float32",), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="float32, same shape as the input",
        attrs=(AttrDef("radial_params", "floats64", "num_coeffs coefficients kr0, kr1, ... per plane, plane after "
                 "plane (at most four per plane are used).",
                 length_rule="at least num_coeffs * min(num_planes, channels)", example=[1.0]),
         AttrDef("num_planes", "int", "Planes to resample, from the first. The output's planes from num_planes "
                 "on are not written: an array passed as out= keeps what it held there; an output the "
                 "graph makes, or an image between nodes, holds zeros.",
                 derived=DERIVED_FROM_CHANNELS, minimum=1),
         AttrDef("num_coeffs", "int", "Coefficients per plane.", minimum=1, example=1),
         AttrDef("center_x", "float64", "Optical centre as a fraction of the image width.", default=0.5),
         AttrDef("center_y", "float64", "Optical centre as a fraction of the image height.", default=0.5),
         AttrDef("use_bicubic", "bool", "Bicubic instead of bilinear sampling (the image needs 4 x 4 pixels).",
                 default=False))),
    OpDef(
        name="fix_bad_pixels_list", family="opcode",
        doc="Repairs the listed defective pixels of a one-channel Bayer mosaic: each listed point and every pixel "
        "of each listed rectangle becomes the mean of the good (unlisted) input samples among its same-colour "
        "candidates on the nearest ring k that has one (k = 1 to 16: 2k away up, down, left and right when "
        "(phase parity + row + column) is odd, k away diagonally when it is even; the parity is 0 for phases "
        "0 and 3, 1 for 1 and 2). uint16 means round half up. A pixel with no good candidate within 16 rings "
        "keeps its value; every other pixel is copied.",
        input_dtypes=("uint16", "float32"), input_channels=(1,), output_dtype="same", output_shape="same",
        output_doc="same type, 1 channel",
        attrs=(_BAYER_PHASE,
         AttrDef("points", "ints", "Bad pixels as (row, column) pairs.", required=False,
                 length_rule="an even number of", minimum=0),
         AttrDef("rects", "ints", "Bad rectangles as (top, left, bottom, right) quads, bottom and right "
                 "exclusive.", required=False, length_rule="a multiple of 4", minimum=0)),
        example_input=(4, 4, 1, "uint16"),
        notes=("Every point lies inside the image and every rectangle is a non-empty part of it.",)),
    OpDef(
        name="trim_bounds", family="opcode",
        doc="Keeps the rectangle of rows top to bottom - 1 and columns left to right - 1.",
        input_dtypes=NUMERIC, input_channels=None, output_dtype="same", output_shape="trim",
        output_doc="same type and channels; bottom - top x right - left",
        attrs=(AttrDef("top", "int", "First row kept.", default=0, minimum=0),
         AttrDef("left", "int", "First column kept.", default=0, minimum=0),
         AttrDef("bottom", "int", "Row after the last one kept.", minimum=1, example=2),
         AttrDef("right", "int", "Column after the last one kept.", minimum=1, example=2)),
        notes=("0 <= top < bottom <= height and 0 <= left < right <= width.",)),
    OpDef(
        name="map_table", family="opcode", works_in_place=True,
        doc="Looks selected samples up in a table of 16-bit entries, over a rectangle, a plane range and a pitch. "
        "A uint16 sample v becomes entry min(v, n - 1) of the n entries. A float32 sample, clamped to [0, 1] "
        "(NaN as 0), is a position p = v (n - 1) between entries i = floor(p) and min(i + 1, n - 1), "
        "interpolated linearly and divided by 65535.",
        input_dtypes=("uint16", "float32"), input_channels=None, output_dtype="same", output_shape="same",
        output_doc="same type and shape as the input",
        attrs=(*_AREA,
         AttrDef("table", "ints", "The entries (the engine keeps the low 16 bits of each element).",
                 minimum=0, maximum=65535, example=[0, 65535])),
        notes=(_AREA_NOTE,)),
    _per_line("delta_per_row", "row", "deltas", "row_pitch"),
    _per_line("delta_per_column", "column", "deltas", "col_pitch"),
    _per_line("scale_per_row", "row", "scales", "row_pitch"),
    _per_line("scale_per_column", "column", "scales", "col_pitch"),
)

OPS_BY_NAME: dict[str, OpDef] = {op.name: op for op in OPS}


def table_as_json(indent: int | None = 1) -> str:
    """The whole table as JSON text, for comparison with other definitions of the ops."""
    return json.dumps([asdict(op) for op in OPS], indent=indent)
