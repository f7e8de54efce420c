"""The AVX2 and AVX-512 copies of the hot routines were really compiled for
their instruction sets: the built module's code of every copy uses the vector
registers of its set. A copy taken outside the file that defines its routine,
or compiled without its target, still gives the baseline's bytes (so the
byte comparisons pass), but its code is the baseline's SSE code or a jump to
it, without a single ymm or zmm register."""

import platform
import re
import shutil
import subprocess

import pytest

import _pyxa

COPY = re.compile(r"^[0-9a-f]+ <(pyxa::(Avx2|Avx512)Copy<.*)>:$")
REGISTER = {"Avx2": "%ymm", "Avx512": "%zmm"}


def sanitized(module: str) -> bool:
    return b"__asan_init" in open(module, "rb").read()


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


@pytest.mark.skipif(platform.machine() != "x86_64", reason="the copies exist on x86-64 only")
@pytest.mark.skipif(shutil.which("objdump") is None, reason="needs objdump (binutils)")
def test_every_copy_uses_its_vector_registers():
    module = _pyxa.__file__
    if sanitized(module):
        pytest.skip("a sanitizer build is compiled at another optimisation level")
    found = copies(module)
    # pointwise, normalize, demosaic, hue/saturation and opcode copies, each in two sets
    assert len(found) >= 100, f"only {len(found)} copies found in {module}"
    baseline_only = sorted(f"{isa}: {name}" for name, (isa, body) in found.items() if REGISTER[isa] not in body)
    assert not baseline_only, "copies compiled without their instruction set:\n" + "\n".join(baseline_only)
