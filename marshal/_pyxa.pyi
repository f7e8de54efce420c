"""Type stub of the native module: runs a graph dict over NumPy arrays in place."""

from typing import Any

import numpy as np

def execute_graph(
    graph: dict[str, Any],
    inputs: dict[int, np.ndarray],
    outputs: dict[int, np.ndarray],
    profile: bool = False,
) -> list[dict[str, int]] | None:
    """Checks the graph and the arrays, runs it, writes the outputs in place;
    with profile=True returns one {"node_id", "exclusive_ns"} dict per node."""

def version() -> str:
    """Version of the built-in correction library."""
