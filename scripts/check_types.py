"""Type-checks what users copy and what their checkers see: the examples,
every Python block of the README and the return-type assertions of
tests/typing, with mypy against the installed pyxa and _pyxa stubs."""

import re
import sys
import tempfile
from pathlib import Path

from mypy import api

ROOT = Path(__file__).resolve().parents[1]


def readme_blocks() -> list[str]:
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    return re.findall(r"```python\n(.*?)```", text, flags=re.S)


def main() -> int:
    with tempfile.TemporaryDirectory() as tmp:
        files = [str(p) for folder in ("examples", "tests/typing") for p in sorted((ROOT / folder).glob("*.py"))]
        for i, block in enumerate(readme_blocks()):
            path = Path(tmp) / f"readme_block_{i}.py"
            path.write_text(block, encoding="utf-8")
            files.append(str(path))
        out, err, status = api.run(["--config-file", str(ROOT / "pyproject.toml"), "--no-incremental", *files])
    print(out, end="")
    print(err, end="", file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
