"""``python -m pyxa``: the same as the ``pyxa`` command."""

import sys

from .cli import main

sys.exit(main())
