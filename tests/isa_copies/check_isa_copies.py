"""Checks that the AVX2 and AVX-512 copies of the hot routines were really
compiled for their instruction sets: the built module's code of every copy
uses the vector registers of its set. A copy taken outside the file that
defines its routine, or compiled without its target, still gives the
baseline's bytes (so the byte comparisons pass), but its code is the
baseline's SSE code or a jump to it, without a single ymm or zmm register.

Run by CTest on the module the C++ test build makes (installed wheels are
stripped of the symbol names this reads):

    python check_isa_copies.py path/to/_pyxa.so
"""

from __future__ import annotations

import platform
import re
import shutil
import subprocess
import sys

COPY = re.compile(r"^[0-9a-f]+ <(pyxa::(Avx2|Avx512)Copy<.*)>:$")
REGISTER = {"Avx2": "%ymm", "Avx512": "%zmm"}
SKIPPED = 77  # CTest's SKIP_RETURN_CODE


def copies(module: str) -> dict[str, tuple[str, str]]:
    """Every copy's demangled name -> (instruction set, disassembled body)."""
    text = subprocess.run(["objdump", "-d", "-C", "--no-show-raw-insn", module], check=True,
                          capture_output=True, text=True).stdout
    found: dict[str, tuple[str, str]] = {}
    name = None
    for line in text.splitlines():
        match = COPY.match(line)
        if match:
            # Cold clones are the rarely run paths split off a function.
            name = None if "[clone .cold]" in match.group(1) else match.group(1)
            if name:
                found[name] = (match.group(2), "")
        elif line.endswith(">:"):
            name = None
        elif name:
            isa, body = found[name]
            found[name] = (isa, body + line + "\n")
    return found


def main() -> int:
    if platform.machine() != "x86_64" or shutil.which("objdump") is None:
        print("the copies exist on x86-64 only, and reading them needs objdump")
        return SKIPPED
    module = sys.argv[1]
    found = copies(module)
    # pointwise, normalize, demosaic, hue/saturation and opcode copies, each in two sets
    if len(found) < 100:
        print(f"only {len(found)} copies found in {module}", file=sys.stderr)
        return 1
    baseline_only = sorted(f"{isa}: {name}" for name, (isa, body) in found.items() if REGISTER[isa] not in body)
    for line in baseline_only:
        print(f"compiled without its instruction set: {line}", file=sys.stderr)
    print(f"{len(found)} copies, {len(baseline_only)} without their vector registers")
    return 1 if baseline_only else 0


if __name__ == "__main__":
    sys.exit(main())
