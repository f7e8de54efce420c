"""Tensor: one image of a graph under construction, with its id, element type
and size; byte strides are derived from them."""

from __future__ import annotations

from typing import TYPE_CHECKING

import numpy as np

if TYPE_CHECKING:
    from .graph import Graph


class Tensor:
    """An image in a Graph: produced by an op, or an input bound at run time.

    Tensors are handles: pass them to the graph's op methods and to ``run``.
    ``shape`` is what the bound array's shape is: (height, width) for one
    channel, (height, width, channels) otherwise.
    """

    __slots__ = ("graph", "id", "dtype", "height", "width", "channels")

    def __init__(self, graph: Graph, tensor_id: int, dtype: np.dtype, height: int, width: int,
                 channels: int) -> None:
        self.graph = graph
        self.id = tensor_id
        self.dtype = dtype
        self.height = height
        self.width = width
        self.channels = channels

    @property
    def shape(self) -> tuple[int, ...]:
        """The NumPy shape of an array holding this image."""
        if self.channels == 1:
            return (self.height, self.width)
        return (self.height, self.width, self.channels)

    @property
    def stride(self) -> int:
        """Bytes from one row to the next in a packed array of this image."""
        return self.width * self.channels * self.dtype.itemsize

    def describe(self) -> str:
        """A short human description, e.g. 'tensor 2 (float32, 4000x6000x3)'."""
        size = f"{self.height}x{self.width}" + (f"x{self.channels}" if self.channels != 1 else "")
        return f"tensor {self.id} ({self.dtype.name}, {size})"

    def __repr__(self) -> str:
        return f"<pyxa.Tensor {self.id}: {self.dtype.name} shape={self.shape}>"
