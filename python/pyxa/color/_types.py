"""Array type names shared by the colour modules."""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

# A 3x3 float64 matrix, a length-3 float64 vector, a float32 table.
Matrix3 = npt.NDArray[np.float64]
Vector3 = npt.NDArray[np.float64]
Doubles = npt.NDArray[np.float64]
Floats = npt.NDArray[np.float32]
