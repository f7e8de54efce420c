"""Type aliases shared across the package: the values the builder's op
methods take, the file paths its readers and writers take, and the per-node
timings a profiled run returns."""

from __future__ import annotations

import os
from collections.abc import Mapping
from typing import Any, Union

import numpy as np
from numpy.typing import ArrayLike, DTypeLike

Int = Union[int, np.integer[Any]]
Scalar = Union[float, np.floating[Any], np.integer[Any]]
Switches = Union[str, Mapping[str, bool]]
PathLike = Union[str, "os.PathLike[str]"]
# What a run with profile=True reports: a dict per node ("node_id", "op", "exclusive_ns").
NodeTimings = list[dict[str, Any]]

__all__ = ["ArrayLike", "DTypeLike", "Int", "NodeTimings", "PathLike", "Scalar", "Switches"]
