"""``python -m pyxa``: the same as the ``pyxa`` command."""

import sys

from .cli import command

if __name__ == "__main__":
    sys.exit(command())
