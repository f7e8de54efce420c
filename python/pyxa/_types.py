"""Type aliases of the values the builder's op methods accept."""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any, Union

import numpy as np
from numpy.typing import ArrayLike, DTypeLike

Int = Union[int, np.integer[Any]]
Scalar = Union[float, np.floating[Any], np.integer[Any]]
Switches = Union[str, Mapping[str, bool]]

__all__ = ["ArrayLike", "DTypeLike", "Int", "Scalar", "Switches"]
