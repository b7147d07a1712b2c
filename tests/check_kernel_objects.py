#!/usr/bin/env python3
"""Fails when a vector build of the simulations' inner loop shares code.

Each object file compiled for one processor (simulation_kernel_avx2,
simulation_kernel_avx512) may define one external symbol: its entry point.
Any other global or weak definition (an inline function or a template
instantiated there) could be the one the linker keeps for the whole
program, and run on a processor without those instructions; the
compiler's own data words (DW.ref.*, the personality routine's address)
hold no code and are passed over. Objects of
other sources are passed over; skipped (status 77) without nm or without
vector builds.

Usage: check_kernel_objects.py OBJECT...
"""
import re
import shutil
import subprocess
import sys

ENTRY = {"avx2": "rova::kernel::avx2Entry()", "avx512": "rova::kernel::avx512Entry()"}
# Data the compiler emits in every object that may unwind (the address of
# the exception personality routine, e.g. under the sanitizers): no code.
COMPILER_DATA = ("DW.ref.",)


def main():
    nm = shutil.which("nm")
    if nm is None:
        print("skipped: no nm to read the object files")
        return 77
    checked = 0
    failed = False
    for path in sys.argv[1:]:
        match = re.search(r"simulation_kernel_(avx2|avx512)\.cc\.o(bj)?$", path)
        if not match:
            continue
        checked += 1
        out = subprocess.run([nm, "--defined-only", "--extern-only", "-C", path],
                             capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            symbol = line.split(" ", 2)[-1]
            if symbol != ENTRY[match.group(1)] and not symbol.startswith(COMPILER_DATA):
                print(f"{path}: defines {symbol}")
                failed = True
    if checked == 0:
        print("skipped: this program has no vector builds of the inner loop")
        return 77
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
