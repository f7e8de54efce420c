"""DNG files and camera profiles: records of what a file says (``records``),
read from the file's tags and opcode lists (``read_dng``, ``read_profile``),
and the development graph built from a record (``develop_graph.dng_graph``)."""

from .profile_tags import read_profile
from .reader import read_dng
from .tags import DngOpcodeWarning, DngTagWarning

__all__ = ["read_dng", "read_profile", "DngTagWarning", "DngOpcodeWarning"]
