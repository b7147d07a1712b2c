#!/usr/bin/env python3
"""Says why each skipped test was skipped, from CTest's LastTest.log.

CTest's summary names a skipped test but not the reason, which only its
output holds: GoogleTest prints the reason under a line ending in
"Skipped", the scripts of tests/ print a line saying "skipped" or
"SKIPPED: ...". Usage: skip_reasons.py BUILD_DIR; prints one line per
skipped test of the last ctest run, nothing when none was skipped.
"""
import re
import sys
from pathlib import Path


def blocks(log):
    """(name, output) of every test in the log."""
    pattern = re.compile(
        r'^\d+/\d+ Testing: (?P<name>.+?)\n.*?^Output:\n-+\n(?P<output>.*?)^<end of output>',
        re.S | re.M)
    for match in pattern.finditer(log):
        yield match.group('name'), match.group('output')


def reason(output):
    """Why a test skipped, as its output says; '' when it says nothing."""
    lines = [line.strip() for line in output.splitlines()]
    for k, line in enumerate(lines):
        if line.endswith(': Skipped') and k + 1 < len(lines) and lines[k + 1]:
            return lines[k + 1]
    said = [line for line in lines if re.search(r'skip', line, re.I) and
            not line.startswith('[  SKIPPED ]')]
    return said[-1] if said else ''


def main():
    build = Path(sys.argv[1])
    log = (build / 'Testing' / 'Temporary' / 'LastTest.log').read_text(errors='replace')
    found = []
    for name, output in blocks(log):
        if '[  SKIPPED ]' in output or re.search(r'^skipped:|: skipped$', output, re.M | re.I):
            found.append((name, reason(output) or 'the test gave no reason'))
    for name, why in found:
        print(f'Skipped {name}: {why}')


if __name__ == '__main__':
    main()
